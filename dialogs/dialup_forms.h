#pragma once

// Joins the dial-up logic to the window: our information and progress dialogs, the busy
// cursor, and our phone-book entry dialog.
void InstallDialupForms();
// Takes them out again: the dial-up logic then dials without dialogs.
void RemoveDialupForms();

#pragma once

// The pictures of the left panel's folder buttons, drawn rather than loaded from files.

#include <QIcon>

enum class TFolderPicture { Inbox, Outbox, Error };

QIcon FolderPicture(TFolderPicture picture, int size = 32);

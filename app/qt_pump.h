#pragma once

// Waits on the main thread that "process pending messages" run Qt's event loop: the hook
// handed to the core's message pump for the thread that creates the window.
void InstallQtPumpHook();
void RemoveQtPumpHook();

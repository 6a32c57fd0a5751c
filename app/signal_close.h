#pragma once

class QWidget;

// Holds SIGINT and SIGTERM back until CloseOnTerminationSignals can handle them, so a stop
// that arrives while the program starts still goes through the window's close.
void DeferTerminationSignals();

// SIGINT and SIGTERM close window the way the operator would (through its close handler),
// so an interrupted demo or a stopped service still logs its close and removes its lock file.
// A second signal ends the program even when the close is refused or waits for an answer.
void CloseOnTerminationSignals(QWidget* window);

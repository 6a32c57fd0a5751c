#pragma once

class QWidget;

// Holds SIGINT and SIGTERM back until HandleTerminationSignals can handle them, so a stop
// that arrives while the program starts is not lost.
void DeferTerminationSignals();

// Handles SIGINT and SIGTERM from now on (the QApplication must exist). Until a window is
// handed over, a signal ends every event loop, so a box shown during start-up closes as
// declined, and TerminationRequested() turns true: the start-up then closes the window
// instead of showing it.
void HandleTerminationSignals();
bool TerminationRequested();

// From now on SIGINT and SIGTERM close window the way the operator would (through its close
// handler), so an interrupted demo or a stopped service still logs its close and removes its
// lock file. A second signal ends the program even when the close is refused or waits for
// an answer.
void CloseOnTerminationSignals(QWidget* window);

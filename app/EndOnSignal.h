#pragma once

class frmQuarlin;

// A logout, a shutdown or Ctrl-C ends the program as "Exit" does, with the
// port closed first, so its lock file and exclusive mode go with it even
// while a message box is open. The exit status is 0, as after Exit.
void endOnTerminationSignals(frmQuarlin &window);

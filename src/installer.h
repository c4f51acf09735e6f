// The installer's run: the only place that prints and that decides the
// process's exit status.
#ifndef TOLMARIX_INSTALLER_H
#define TOLMARIX_INSTALLER_H

// argc counts the program name, so a correct command line has 3.
// Gives 0 when the new sector was written, 1 otherwise.
int RunInstaller(int argc, const char *const *argv);

#endif

// Standard output, the one place the run's messages go.
#ifndef TOLMARIX_CONSOLE_H
#define TOLMARIX_CONSOLE_H

// Sets standard output up for the run's messages; called once, before the
// first of them.
void StartOutput();

// Writes `format`, a printf format with at most one %s, with `text` in place
// of the %s. A Windows console is given UTF-16, so a name in any script reads
// as typed; a file, a pipe or a POSIX terminal gets the bytes as they are.
void WriteOutput(const char *format, const char *text);

#endif

// The file calls come straight from Windows.
#ifndef TOLMARIX_WIN32_API_H
#define TOLMARIX_WIN32_API_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// FSCTL_LOCK_VOLUME and the other volume control codes.
#include <winioctl.h>

#endif

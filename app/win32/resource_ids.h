#pragma once

// The identifiers of the Windows programs' resources, shared by program.rc.in and the code that
// loads them. Plain macros: the resource compiler reads nothing else.

// The program's icon: the first icon, which Explorer and the taskbar show.
#define IDI_PROGRAM 1

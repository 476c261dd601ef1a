#ifndef GUI_BACKEND_TESTS_PROCESSMEMORY_H
#define GUI_BACKEND_TESTS_PROCESSMEMORY_H

// The memory the process holds in RAM (its resident set), in megabytes; 0 where the system does not say.
double residentMegabytes();

#endif

// An idle Windows program: while it runs, Wine keeps its helper processes, so every
// test program starts at once. It ends when the script that started it ends it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Sleep(INFINITE);
    return 0;
}

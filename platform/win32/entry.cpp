// The process entry of the Windows build: hands over to the program's WinMain.
#include "platform/win32/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    return plat::WinMain(reinterpret_cast<plat::HINSTANCE>(instance), reinterpret_cast<plat::HINSTANCE>(previous),
                   commandLine, showCommand);
}

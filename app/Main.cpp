// The program's entry point and its one application object.
#include "DownloadApp.h"

DownloadApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, commandLine, showCommand);
}

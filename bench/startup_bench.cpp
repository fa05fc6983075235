// Time from starting the program to its dialog being on screen, over several starts.
//   startup_bench.exe <program> [starts]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: startup_bench <program> [starts]\n");
        return 2;
    }
    int starts = argc > 2 ? atoi(argv[2]) : 5;
    std::vector<double> times;
    for (int i = 0; i < starts; ++i) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::string commandLine = std::string("\"") + argv[1] + "\"";
        auto start = std::chrono::steady_clock::now();
        if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return 1;
        HWND dialog = nullptr;
        while (!(dialog = FindWindowA("#32770", "Скачать для УЛВО-офлайн")) || !IsWindowVisible(dialog)) {
            if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0)
                return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    std::sort(times.begin(), times.end());
    printf("program start to dialog shown: median %.0f ms, min %.0f ms, max %.0f ms over %d starts\n",
           times[times.size() / 2], times.front(), times.back(), starts);
    return 0;
}

// The tool as a process of its own (tool_under_test.exe, the real program with the
// test programs' catalogue URL), for what only a whole process shows: that it ends.
#pragma once

#include <windows.h>

#include <string>

class ToolProcess {
public:
    ToolProcess() = default;
    // A process still running is killed: a failed test leaves nothing behind.
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Starts `program` (by default tool_under_test.exe from this program's folder),
    // fetching its catalogue at `catalogUrl`; returns its dialog once visible, or null.
    HWND Start(const std::string& catalogUrl, std::string program = "");

    // True once the process has ended.
    bool WaitForExit(DWORD timeoutMs);
    DWORD Id() const { return process_.dwProcessId; }

private:
    PROCESS_INFORMATION process_ = {};
};

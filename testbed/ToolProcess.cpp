#include "ToolProcess.h"

#include "WindowDriver.h"

ToolProcess::~ToolProcess()
{
    if (!process_.hProcess)
        return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

HWND ToolProcess::Start(const std::string& catalogUrl, std::string program)
{
    if (program.empty()) {
        char self[MAX_PATH] = "";
        GetModuleFileNameA(NULL, self, sizeof(self));
        program = self;
        program = program.substr(0, program.find_last_of('\\') + 1) + "tool_under_test.exe";
    }
    std::string commandLine = "\"" + program + "\"";

    SetEnvironmentVariableA("ZEB_TEST_CATALOG_URL", catalogUrl.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    BOOL started = CreateProcessA(program.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                  &process_);
    SetEnvironmentVariableA("ZEB_TEST_CATALOG_URL", NULL);
    if (!started)
        return nullptr;
    return WindowDriver::FindToolWindow(30000, process_.dwProcessId);
}

bool ToolProcess::WaitForExit(DWORD timeoutMs)
{
    return process_.hProcess && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

// Standard output sent to a file while the code under test prints.
#pragma once

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "TestFiles.h"

// From construction to Finish (or the destructor), descriptor 1, where printf writes, goes
// to `file`; "NUL" throws the output away.
class StdoutCapture {
public:
    explicit StdoutCapture(const std::string& file = "NUL") : file_(file)
    {
        fflush(stdout);
        saved_ = _dup(1);
        int fd = _open(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0666);
        _dup2(fd, 1);
        _close(fd);
    }
    ~StdoutCapture() { Restore(); }
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Gives standard output back and returns what was printed meanwhile.
    std::string Finish()
    {
        Restore();
        return ReadWholeFile(file_);
    }

private:
    void Restore()
    {
        if (saved_ < 0)
            return;
        fflush(stdout);
        _dup2(saved_, 1);
        _close(saved_);
        saved_ = -1;
    }

    std::string file_;
    int saved_;
};

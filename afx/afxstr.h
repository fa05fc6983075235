// CString: MFC's string name over 8-bit text in the ANSI code page.
#pragma once

#include <windows.h>
#include <cstdarg>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : text_(text ? text : "") {}
    // Converts to the ANSI code page, as MFC's ANSI CString does with wide text.
    CString(const wchar_t* wide) { AssignWide(wide); }

    CString& operator=(const char* text) { text_ = text ? text : ""; return *this; }
    CString& operator=(const wchar_t* wide) { AssignWide(wide); return *this; }

    operator const char*() const { return text_.c_str(); }
    const char* GetString() const { return text_.c_str(); }

    int GetLength() const { return static_cast<int>(text_.size()); }
    bool IsEmpty() const { return text_.empty(); }
    void Empty() { text_.clear(); }

    char operator[](int index) const { return text_[index]; }

    // Returns the number of characters replaced.
    int Replace(char from, char to);
    // Returns the new length.
    int Delete(int index, int count = 1);
    // Byte offset of the first occurrence, or -1.
    int Find(char ch, int start = 0) const;
    int Find(const char* sub, int start = 0) const;

    void Format(const char* format, ...);
    void FormatV(const char* format, va_list args);

    // MFC's buffer protocol: write up to minLength characters, then ReleaseBuffer.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

private:
    void AssignWide(const wchar_t* wide);

    std::string text_;
};

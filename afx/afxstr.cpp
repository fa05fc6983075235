#include "afxstr.h"

#include <cstdio>
#include <cstring>

int CString::Replace(char from, char to)
{
    int count = 0;
    for (char& ch : text_) {
        if (ch == from) {
            ch = to;
            ++count;
        }
    }
    return count;
}

int CString::Delete(int index, int count)
{
    if (index >= 0 && index < GetLength() && count > 0)
        text_.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

int CString::Find(char ch, int start) const
{
    size_t at = text_.find(ch, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* sub, int start) const
{
    size_t at = text_.find(sub, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args)
{
    // Each attempt consumes the list, so every vsnprintf gets its own copy.
    va_list probe;
    va_copy(probe, args);
    int length = vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    if (length < 0) {
        text_.clear();
        return;
    }
    std::string result(static_cast<size_t>(length) + 1, '\0');
    va_list fill;
    va_copy(fill, args);
    vsnprintf(&result[0], result.size(), format, fill);
    va_end(fill);
    result.resize(static_cast<size_t>(length));
    text_.swap(result);
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        text_.resize(static_cast<size_t>(minLength));
    return &text_[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(strlen(text_.c_str()));
    text_.resize(static_cast<size_t>(newLength));
}

void CString::AssignWide(const wchar_t* wide)
{
    text_.clear();
    if (!wide || !*wide)
        return;
    int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return;
    text_.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, &text_[0], size, nullptr, nullptr);
    text_.resize(static_cast<size_t>(size - 1));
}

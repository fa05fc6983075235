#include "WindowDriver.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "resource.h"

namespace {

const char kToolTitle[] = "Скачать для УЛВО-офлайн";
const int kStaticTextId = 0xFFFF;  // a message box's text

struct BoxSearch {
    HWND owner;
    HWND box;
};

BOOL CALLBACK FindOwnedBox(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<BoxSearch*>(lParam);
    char className[16] = "";
    GetClassNameA(hwnd, className, sizeof(className));
    if (strcmp(className, "#32770") == 0 && hwnd != search->owner && GetWindow(hwnd, GW_OWNER) == search->owner &&
        IsWindowVisible(hwnd)) {
        search->box = hwnd;
        return FALSE;
    }
    return TRUE;
}

struct ToolSearch {
    DWORD processId;
    HWND dialog;
};

BOOL CALLBACK FindTool(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<ToolSearch*>(lParam);
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    if ((search->processId == 0 || process == search->processId) && IsWindowVisible(hwnd) &&
        WindowText(hwnd) == kToolTitle) {
        search->dialog = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string WindowText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

HWND WindowDriver::FindToolWindow(DWORD timeoutMs, DWORD processId)
{
    ToolSearch search = {processId, nullptr};
    WindowDriver().WaitUntil(
        [&] {
            EnumWindows(FindTool, reinterpret_cast<LPARAM>(&search));
            return search.dialog != nullptr;
        },
        timeoutMs);
    return search.dialog;
}

std::string WindowDriver::Text(int id) const
{
    return WindowText(Control(id));
}

void WindowDriver::Click(int id)
{
    PostMessageA(Control(id), BM_CLICK, 0, 0);
    Sleep(50);
}

void WindowDriver::Type(int id, const std::string& text)
{
    SendMessageA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void WindowDriver::PressEnter()
{
    HWND target = Control(IDC_TARGET_FOLDER);
    PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
    Sleep(50);
}

void WindowDriver::PressEscape()
{
    HWND target = Control(IDC_TARGET_FOLDER);
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    Sleep(50);
}

HWND WindowDriver::FindBox() const
{
    BoxSearch search = {dialog_, nullptr};
    EnumWindows(FindOwnedBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

std::string WindowDriver::WaitForBox(DWORD timeoutMs)
{
    box_ = nullptr;
    WaitUntil([&] { return (box_ = FindBox()) != nullptr; }, timeoutMs);
    if (!box_)
        return std::string();
    return WindowText(GetDlgItem(box_, kStaticTextId));
}

std::string WindowDriver::BoxCaption() const
{
    return box_ ? WindowText(box_) : "unread";
}

void WindowDriver::Answer(int buttonId)
{
    HWND box = box_ ? box_ : FindBox();
    if (!box)
        return;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
    WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
    box_ = nullptr;
}

std::string WindowDriver::TakeBox(std::string* caption)
{
    HWND box = FindBox();
    // A box already answered may take a moment to go.
    if (!box || box == taken_)
        return std::string();
    taken_ = box;
    if (caption)
        *caption = WindowText(box);
    std::string text = WindowText(GetDlgItem(box, kStaticTextId));
    HWND button = FindWindowExA(box, nullptr, "Button", nullptr);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return text;
}

bool WindowDriver::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) const
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(pollMs_);
    }
    return true;
}

bool WindowDriver::WaitClosed(DWORD timeoutMs) const
{
    return WaitUntil([&] { return !IsWindow(dialog_); }, timeoutMs);
}

bool WindowDriver::SaveScreenshot(const std::string& path) const
{
    RECT rect;
    if (!GetWindowRect(dialog_, &rect))
        return false;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD rowSize = ((width * 3 + 3) / 4) * 4;
    std::string pixels(rowSize * height, '\0');
    GetDIBits(memory, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof(header) + sizeof(info);
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    fwrite(&header, sizeof(header), 1, file);
    fwrite(&info, sizeof(info), 1, file);
    fwrite(pixels.data(), 1, pixels.size(), file);
    return fclose(file) == 0;
}

#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

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

}  // namespace

INT_PTR DialogDriver::Run(DownloadDialog& dialog, const std::function<void(DialogDriver&)>& script)
{
    std::atomic<bool> scriptDone{false};
    std::thread driverThread([&] {
        DialogDriver driver;
        driver.WaitUntil([&] { return dialog.GetSafeHwnd() != nullptr && IsWindowVisible(dialog.GetSafeHwnd()); },
                         30000);
        driver.dialog_ = dialog.GetSafeHwnd();
        if (driver.dialog_)
            script(driver);
        else
            ADD_FAILURE() << "the dialog did not appear";
        // Whatever the script left open is closed, so DoModal returns.
        for (int i = 0; i < 100 && IsWindow(driver.dialog_); ++i) {
            if (driver.BoxOpen()) {
                driver.Answer(IDYES);
                driver.Answer(IDOK);
            }
            PostMessageA(driver.dialog_, WM_COMMAND, IDCANCEL, 0);
            Sleep(100);
        }
        scriptDone = true;
    });
    INT_PTR result = dialog.DoModal();
    driverThread.join();
    return result;
}

std::string DialogDriver::Text(int id) const
{
    char text[512] = "";
    GetWindowTextA(Control(id), text, sizeof(text));
    return text;
}

void DialogDriver::Click(int id)
{
    PostMessageA(Control(id), BM_CLICK, 0, 0);
    Sleep(50);
}

void DialogDriver::Type(int id, const std::string& text)
{
    SendMessageA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogDriver::PressEnter()
{
    HWND target = Control(1003);
    PostMessageA(target, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC01C0001);
    Sleep(50);
}

void DialogDriver::PressEscape()
{
    HWND target = Control(1003);
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    Sleep(50);
}

HWND DialogDriver::FindBox() const
{
    BoxSearch search = {dialog_, nullptr};
    EnumWindows(FindOwnedBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

bool DialogDriver::BoxOpen() const
{
    return FindBox() != nullptr;
}

std::string DialogDriver::WaitForBox(DWORD timeoutMs)
{
    box_ = nullptr;
    WaitUntil([&] { return (box_ = FindBox()) != nullptr; }, timeoutMs);
    if (!box_)
        return std::string();
    char text[1024] = "";
    GetDlgItemTextA(box_, 0xFFFF, text, sizeof(text));
    return text;
}

std::string DialogDriver::BoxCaption() const
{
    char text[256] = "unread";
    if (box_)
        GetWindowTextA(box_, text, sizeof(text));
    return text;
}

void DialogDriver::Answer(int buttonId)
{
    HWND box = box_ ? box_ : FindBox();
    if (!box)
        return;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
    WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
    box_ = nullptr;
}

bool DialogDriver::WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

bool DialogDriver::WaitClosed(DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(dialog_); }, timeoutMs);
}

bool DialogDriver::SaveScreenshot(const std::string& path)
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

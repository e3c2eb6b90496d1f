#include "DesktopNotification.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>

namespace app {

namespace {

template <std::size_t N> void copyInto(wchar_t (&to)[N], const QString& text) {
    const QString cut = text.left(int(N) - 1);
    std::fill(std::begin(to), std::end(to), L'\0');
    cut.toWCharArray(to);
}

} // namespace

// A balloon from the notification area, which Windows shows as a notice; it stays while the
// icon does, so the run gives it the time it would have given the desktop's server.
bool sendDesktopNotification(const QString& summary, const QString& body, int timeoutMs) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"doziduvov", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    if (!window)
        return false;
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 1;
    data.uFlags = NIF_ICON | NIF_TIP | NIF_INFO;
    data.hIcon = LoadIconW(nullptr, IDI_ERROR);
    data.dwInfoFlags = NIIF_ERROR;
    copyInto(data.szTip, QStringLiteral("doziduvov"));
    copyInto(data.szInfoTitle, summary);
    copyInto(data.szInfo, body);
    const bool shown = Shell_NotifyIconW(NIM_ADD, &data);
    if (shown) {
        Sleep(DWORD(std::clamp(timeoutMs, 0, 5000)));
        Shell_NotifyIconW(NIM_DELETE, &data);
    }
    DestroyWindow(window);
    return shown;
}

} // namespace app

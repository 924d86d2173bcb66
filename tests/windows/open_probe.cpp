// Stands in for a browser in the OpenDocument tests: registered as the "open" command of a URL
// scheme, it appends its first argument (as UTF-8) and a line end to the file named by
// TARVELLE_OPEN_PROBE_OUT.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// shellapi.h needs the declarations of windows.h first.
#include <shellapi.h>

#include <cstdio>
#include <string>

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    wchar_t out[MAX_PATH] = {};
    if (args == nullptr || count < 2 ||
        GetEnvironmentVariableW(L"TARVELLE_OPEN_PROBE_OUT", out, MAX_PATH) == 0) {
        return 2;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, args[1], -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, args[1], -1, text.data(), size, nullptr, nullptr);
    FILE* file = _wfopen(out, L"ab");
    if (file == nullptr) {
        return 3;
    }
    std::fputs((text + "\n").c_str(), file);
    std::fclose(file);
    LocalFree(args);
    return 0;
}

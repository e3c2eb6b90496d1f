#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include <locale.h>

#ifdef _WIN32
// Under Wine the user's locale is the one LANG names when Wine starts (scripts/wine-run sets it).
inline void useGermanLocale() {
    std::setlocale(LC_ALL, "");
}
#else
// Our users run German desktops. A locale the machine lacks makes setlocale() fall back to "C"
// without a word, and every fault of a decimal comma hides: such a run fails instead.
inline bool localeInstalled(const char* name) {
    const locale_t l = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (!l)
        return false;
    freelocale(l);
    return true;
}

// Every test program runs in the locale of our users, as Qt takes it from the environment; a
// test run (not the listing of the tests) ends when the machine lacks it.
inline void useGermanLocale() {
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    if (std::setlocale(LC_ALL, "") == nullptr && !::testing::GTEST_FLAG(list_tests)) {
        std::fprintf(stderr, "The locale de_DE.UTF-8 is not installed (scripts/setup generates it).\n");
        std::exit(1);
    }
}
#endif

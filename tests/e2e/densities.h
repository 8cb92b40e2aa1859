#pragma once
// Runs a check once at each of several screen densities, each time against a
// Tavrel started afresh at that density.
#include <doctest/doctest.h>

#include <initializer_list>

#include "e2e/driver.h"

namespace e2e {

template <typename Check>
void AtEachDpi(std::initializer_list<DWORD> densities, Check check) {
    for (DWORD dots : densities) {
        INFO("dpi ", dots);
        DotsPerInch dpi(dots);
        Tavrel app;
        REQUIRE(app.Start());
        check(dots, app);
        CHECK(app.Close());
    }
}

}  // namespace e2e

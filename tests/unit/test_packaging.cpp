// The uninstall's log gets Tavrel's words through the installer's own
// formatting, here Wine's: no bracket or brace in them is taken for a
// property, a record field or an escape.
#include <doctest/doctest.h>
#include <windows.h>
// msiquery.h needs windows.h first.
#include <msiquery.h>

#include "packaging/literal.h"
#include "support/standins.h"

TEST_CASE("text logged through the installer keeps its brackets and braces") {
    // Properties and escapes are formatted only within a package: an empty one.
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"msi", 0, path);
    PMSIHANDLE database, package;
    REQUIRE(MsiOpenDatabaseW(path, MSIDBOPEN_CREATE, &database) == ERROR_SUCCESS);
    enum : UINT { kPackageCode = 9, kText = 30 };  // a summary property and its type
    PMSIHANDLE summary;
    REQUIRE(MsiGetSummaryInformationW(database, nullptr, 4, &summary) == ERROR_SUCCESS);
    MsiSummaryInfoSetPropertyW(summary, kPackageCode, kText, 0, nullptr,
                               L"{00000000-0000-0000-0000-000000000000}");
    MsiSummaryInfoPersist(summary);
    REQUIRE(MsiDatabaseCommit(database) == ERROR_SUCCESS);
    wchar_t handle[16];
    wsprintfW(handle, L"#%lu", static_cast<unsigned long>(MSIHANDLE(database)));
    REQUIRE(MsiOpenPackageW(handle, &package) == ERROR_SUCCESS);
    MsiSetPropertyW(package, L"ProductName", L"Tavrel");
    for (const wchar_t* text : {L"Parked [ProductName] and [1]", L"{[%PATH]} [#file] {x}",
                                L"[\\[] [~] [] {}", L"plain"}) {
        PMSIHANDLE record = MsiCreateRecord(1);
        MsiRecordSetStringW(record, 0, MsiLiteral(text).c_str());
        MsiRecordSetStringW(record, 1, L"field");
        wchar_t out[256];
        DWORD size = 256;
        REQUIRE(MsiFormatRecordW(package, record, out, &size) == ERROR_SUCCESS);
        CHECK(support::Narrow(out) == support::Narrow(text));
    }
    package = 0;
    database = 0;
    DeleteFileW(path);
}

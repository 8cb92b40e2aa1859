#pragma once
// The maker's web site; each page the program opens is a path below it.
namespace tweaks {

constexpr wchar_t kMakerSite[] = L"http://www.tavrel.example";
// The maker's information page, below the site.
constexpr wchar_t kInformationPage[] = L"/info.htm";

}  // namespace tweaks

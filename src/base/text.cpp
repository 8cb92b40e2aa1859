#include "base/text.h"

namespace base {

std::wstring Cat(std::initializer_list<std::wstring_view> parts) {
    size_t size = 0;
    for (std::wstring_view part : parts) size += part.size();
    std::wstring text;
    text.reserve(size);
    for (std::wstring_view part : parts) text.append(part.data(), part.size());
    return text;
}

}  // namespace base

#include "HelpText.h"

#include "ContainerList.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace tabulon::cli {

namespace {

bool LessNoCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

std::string ContainerNames() {
    std::vector<std::string_view> names;
    for (const ContainerType* type : ContainerTypes()) names.push_back(type->Format.Name);
    std::sort(names.begin(), names.end(), LessNoCase);
    std::string text;
    for (std::size_t n = 0; n < names.size(); ++n) {
        if (n > 0) text += n + 1 == names.size() ? " and " : ", ";
        text += names[n];
    }
    return text;
}

std::string ImageExtensions() {
    std::vector<std::string_view> extensions;
    for (const ContainerType* type : ContainerTypes()) {
        extensions.insert(extensions.end(), type->Extensions.begin(), type->Extensions.end());
    }
    std::sort(extensions.begin(), extensions.end());
    extensions.erase(std::unique(extensions.begin(), extensions.end()), extensions.end());
    std::string text;
    for (const std::string_view extension : extensions) {
        if (!text.empty()) text += ' ';
        text += extension;
    }
    return text;
}

}  // namespace tabulon::cli

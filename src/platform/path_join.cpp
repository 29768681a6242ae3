#include "platform/path_join.h"

namespace tarnvex {

std::string joinPath(std::initializer_list<std::string_view> components) {
    std::string path;
    for (std::string_view component : components) {
        if (component.empty()) {
            continue;
        }
        if (!path.empty()) {
            const bool endsWithSeparator = path.back() == '/';
            const bool startsWithSeparator = component.front() == '/';
            if (endsWithSeparator && startsWithSeparator) {
                component.remove_prefix(1);
            } else if (!endsWithSeparator && !startsWithSeparator) {
                path.push_back('/');
            }
        }
        path.append(component);
    }
    return path;
}

} // namespace tarnvex

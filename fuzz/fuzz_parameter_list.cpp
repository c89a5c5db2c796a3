// libFuzzer target for the parameter text reader: any bytes, parsed, walked and looked up, and
// read as a theme file.
#include "controller/color_theme.h"
#include "util/parameter_list.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Touches every entry so that a malformed tree is read by the sanitizers, and returns a value the
// optimiser cannot drop.
float walk(const UTL_ParameterList& list, int depth) {
    float sum =
        list.get_number("NumThemes") + static_cast<float>(list.get_number_vector("v").size());
    for (const UTL_ParameterItem* item : list.m_items) {
        sum += static_cast<float>(item->m_name.size());
        if (item->m_kind == UTL_ParameterItem::LIST)
            sum += walk(*static_cast<const UTL_ParameterList*>(item), depth + 1);
        if (const UTL_ParameterNumberVector* v = list.find_number_vector(item->m_name))
            for (float f : v->m_values) sum += f == f ? 1.0f : 0.0f;
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<char> text(size + 1);
    if (size) std::memcpy(text.data(), data, size);
    text[size] = '\0';
    UTL_ParameterList list;
    list.read(text.data());
    std::vector<UTL_ColorTheme> themes;
    UTL_ColorTheme current;
    UTL_ColorTheme::read_themes(&list, themes, current);
    volatile float sink = walk(list, 0) + current.m_background_color.m_x;
    (void)sink;
    return 0;
}

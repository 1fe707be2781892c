#include "unit_blocks.h"

#include "st/button_units.h"
#include "st/edit_box_unit.h"
#include "st/hyperlink_unit.h"
#include "st/units.h"
#include "test_units.h"

namespace testblocks {

std::vector<uint8_t> CaptionBlock(uint32_t type, const std::string& caption, bool isDefault) {
    switch (type) {
    case st::UnitType::Button: {
        st::ButtonProperties p;
        p.caption = caption;
        p.type = isDefault ? 1 : 0;
        return st::WritePropertyBlock(p);
    }
    case st::UnitType::CheckBox: {
        st::CheckBoxProperties p;
        p.caption = caption;
        return st::WritePropertyBlock(p);
    }
    case st::UnitType::EditBox: {
        st::EditProperties p;
        p.content = caption;
        p.multiLine = 1;
        return st::WritePropertyBlock(p);
    }
    case st::UnitType::HyperLinker: {
        st::HyperlinkProperties p;
        p.caption = caption;
        return st::WritePropertyBlock(p);
    }
    case testunits::LabelType:
    case testunits::RadioType:
        return testunits::CaptionBlock(caption);
    default:
        return {};
    }
}

} // namespace testblocks

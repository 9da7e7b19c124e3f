#include "i18n/FormatMsg.h"

#include "base/TalvexError.h"

namespace talvex {

namespace {
std::string PlainText(const MsgArg& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
    return std::get<std::string>(value);
}

void ReplaceAll(std::string& text, const std::string& what, const std::string& with) {
    std::size_t pos = 0;
    while ((pos = text.find(what, pos)) != std::string::npos) {
        text.replace(pos, what.size(), with);
        pos += with.size();
    }
}
}  // namespace

std::string FormatMsg(std::string_view sFormat, const MsgArgs& vArgs) {
    std::string work(sFormat);
    for (std::size_t k = vArgs.size(); k-- > 0;) {
        ReplaceAll(work, "%" + std::to_string(k + 1), PlainText(vArgs[k]));
    }
    return work;
}

std::string FormatMsg(std::string_view, const MsgArg&) {
    throw TalvexError(kErrTypeMismatch);
}

}  // namespace talvex

#pragma once
// Captions with access keys: "&High" reads "High", Alt+H chooses it. The boost levels'
// names are such captions, and the log and the held-changes list use them as words.

#include <string>
#include <string_view>

namespace talvex {

/// The caption as it reads: without the "&" that marks the access key, "&&" as "&".
inline std::string WithoutAccessKey(std::string_view caption) {
    std::string text;
    text.reserve(caption.size());
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;  // the marker goes, "&&" gives "&"
        text += caption[i];
    }
    return text;
}

}  // namespace talvex

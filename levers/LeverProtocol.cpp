#include "levers/LeverProtocol.h"

#include <cstring>

namespace talvex::levers {

namespace {

template <typename T>
void Put(std::uint8_t* out, std::size_t offset, T value) {
    std::memcpy(out + offset, &value, sizeof value);
}

template <typename T>
T Get(std::span<const std::uint8_t> in, std::size_t offset) {
    T value{};
    std::memcpy(&value, in.data() + offset, sizeof value);
    return value;
}

bool KnownKind(std::uint32_t kind) {
    return kind >= static_cast<std::uint32_t>(Kind::ThreadNice) &&
           kind <= static_cast<std::uint32_t>(Kind::GroupNice);
}

}  // namespace

std::array<std::uint8_t, kRequestSize> EncodeRequest(const Request& request) {
    std::array<std::uint8_t, kRequestSize> out{};
    Put(out.data(), 0, kRequestMagic);
    Put(out.data(), 4, static_cast<std::uint32_t>(request.kind));
    Put(out.data(), 8, request.pid);
    Put(out.data(), 12, request.value);
    Put(out.data(), 16, request.processStart);
    Put(out.data(), 24, request.id);
    Put(out.data(), 32, request.threadStart);
    return out;
}

std::optional<Request> ParseRequest(std::span<const std::uint8_t> message) {
    if (message.size() != kRequestSize || Get<std::uint32_t>(message, 0) != kRequestMagic) {
        return std::nullopt;
    }
    const auto kind = Get<std::uint32_t>(message, 4);
    if (!KnownKind(kind)) return std::nullopt;
    Request request;
    request.kind = static_cast<Kind>(kind);
    request.pid = Get<std::int32_t>(message, 8);
    request.value = Get<std::int32_t>(message, 12);
    request.processStart = Get<std::uint64_t>(message, 16);
    request.id = Get<std::int64_t>(message, 24);
    request.threadStart = Get<std::uint64_t>(message, 32);
    // Pids and thread ids are positive (a group id may be 0); a thread's start time is
    // part of a thread request, and a group request names no thread.
    const bool thread = request.kind != Kind::GroupNice;
    if (request.pid <= 0 || request.id < 0) return std::nullopt;
    if (thread && (request.id == 0 || request.id > INT32_MAX)) return std::nullopt;
    if (thread ? request.threadStart == 0 : request.threadStart != 0) return std::nullopt;
    if (request.processStart == 0) return std::nullopt;
    return request;
}

std::array<std::uint8_t, kAnswerSize> EncodeAnswer(const Answer& answer) {
    std::array<std::uint8_t, kAnswerSize> out{};
    Put(out.data(), 0, kAnswerMagic);
    Put(out.data(), 4, static_cast<std::uint32_t>(answer.verdict));
    Put(out.data(), 8, answer.detail);
    return out;
}

std::optional<Answer> ParseAnswer(std::span<const std::uint8_t> message) {
    if (message.size() != kAnswerSize || Get<std::uint32_t>(message, 0) != kAnswerMagic) {
        return std::nullopt;
    }
    const auto verdict = Get<std::uint32_t>(message, 4);
    if (verdict > static_cast<std::uint32_t>(Verdict::Hello)) return std::nullopt;
    return Answer{static_cast<Verdict>(verdict), Get<std::int32_t>(message, 8)};
}

}  // namespace talvex::levers

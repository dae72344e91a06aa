#include "upload_checks.h"

#include <openssl/evp.h>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/utf8.h>

#include <vector>

#include "replays/replay_file.h"

namespace board {

const char NAME_RULE[] =
    "a name is 1 to 24 characters: letters, digits, spaces and - _ . ' (in Unicode's composed form, NFC)";

std::string check_name(std::string_view name) {
    const auto refuse = [](const std::string& what) { return what + ": " + NAME_RULE; };
    if (name.empty()) return refuse("the name is empty");
    // Counted in bytes first, so that nothing long is decoded.
    if (name.size() > MAX_NAME_CHARACTERS * 4) return refuse("the name is too long");
    std::vector<UChar> utf16;
    std::size_t characters = 0;
    std::int32_t at = 0;
    const auto length = static_cast<std::int32_t>(name.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(name.data());
    while (at < length) {
        UChar32 c;
        U8_NEXT(bytes, at, length, c);
        if (c < 0) return refuse("the name is not UTF-8");
        ++characters;
        const std::int8_t type = u_charType(c);
        const bool letter = u_isalpha(c);
        const bool mark = (type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK) && characters > 1;
        const bool digit = type == U_DECIMAL_DIGIT_NUMBER;
        const bool punctuation = c == ' ' || c == '-' || c == '_' || c == '.' || c == '\'';
        if (!(letter || mark || digit || punctuation)) {
            if (u_iscntrl(c) || u_hasBinaryProperty(c, UCHAR_BIDI_CONTROL) || type == U_FORMAT_CHAR)
                return refuse("the name holds a control or direction-changing character");
            return refuse("the name holds a character that is not allowed");
        }
        if (c <= 0xFFFF) {
            utf16.push_back(static_cast<UChar>(c));
        } else {
            utf16.push_back(U16_LEAD(c));
            utf16.push_back(U16_TRAIL(c));
        }
    }
    if (characters > MAX_NAME_CHARACTERS) return refuse("the name is too long");
    if (name.front() == ' ' || name.back() == ' ') return refuse("the name starts or ends with a space");
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    if (U_FAILURE(status)) return refuse("the name cannot be checked");
    const UBool normal = unorm2_isNormalized(nfc, utf16.data(), static_cast<std::int32_t>(utf16.size()), &status);
    if (U_FAILURE(status) || !normal) return refuse("the name is not in composed form");
    return {};
}

std::string sha256_hex(const std::uint8_t* data, std::size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digest_size = 0;
    EVP_Digest(data, size, digest, &digest_size, EVP_sha256(), nullptr);
    static const char HEX[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < digest_size; ++i) {
        text += HEX[digest[i] >> 4];
        text += HEX[digest[i] & 15];
    }
    return text;
}

const char* recorder_name(std::uint8_t recorder) {
    switch (static_cast<replays::Recorder>(recorder)) {
    case replays::Recorder::desktop: return "desktop";
    case replays::Recorder::page: return "page";
    case replays::Recorder::windows: return "windows";
    case replays::Recorder::runner: return "runner";
    default: return "unknown";
    }
}

UploadCheck check_upload(const std::uint8_t* data, std::size_t size) {
    UploadCheck check;
    if (size > MAX_UPLOAD_BYTES) {
        check.problem = "larger than the " + std::to_string(MAX_UPLOAD_BYTES >> 20) + " MiB a replay may be here";
        return check;
    }
    // The logic version first, so that a replay of another game's rules is told which this board plays.
    if (replays::looks_like_replay(data, size) && size >= 16) {
        const std::uint32_t version = static_cast<std::uint32_t>(data[12]) | static_cast<std::uint32_t>(data[13]) << 8 |
                                      static_cast<std::uint32_t>(data[14]) << 16 | static_cast<std::uint32_t>(data[15]) << 24;
        if (version != replays::GAME_LOGIC_VERSION) {
            check.problem = "a replay of the game's logic version " + std::to_string(version) +
                            ": this board plays logic version " + std::to_string(replays::GAME_LOGIC_VERSION);
            return check;
        }
    }
    const replays::ReplayIndex index = replays::read_replay(data, size);
    if (index.status == replays::ReadStatus::unreadable) {
        check.problem = "not a replay this board can read: " + index.problem;
        return check;
    }
    if (!index.has_trailer || index.frames == 0) {
        check.problem = "cut short, without its trailer: the board takes finished games";
        return check;
    }
    check.ok = true;
    check.logic_version = index.header.logic_version;
    check.recorded_by = recorder_name(static_cast<std::uint8_t>(index.header.recorder));
    check.sha256 = sha256_hex(data, size);
    check.input_sha256 = sha256_hex(data + replays::HEADER_SIZE,
                                    size - replays::HEADER_SIZE - replays::TRAILER_BLOCK_SIZE);
    return check;
}

}  // namespace board

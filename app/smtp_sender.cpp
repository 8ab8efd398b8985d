#include "app/smtp_sender.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <random>

namespace zendo {

namespace {

// RFC 2047: an encoded word is at most 75 characters; "=?UTF-8?B?" and "?=" take 12 of them,
// leaving 60 base64 characters for 45 bytes of text.
constexpr size_t kEncodedWordBytes = 45;

const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v
            = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= uint8_t(bytes[i + 1]) << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool IsPrintableAscii(std::string_view text) {
    return std::all_of(
        text.begin(), text.end(), [](char c) { return uint8_t(c) >= 0x20 && uint8_t(c) < 0x7F; });
}

// The length of the UTF-8 sequence that starts with `lead` (1 for stray bytes).
size_t SequenceLength(uint8_t lead) {
    if (lead >= 0xF0 && lead < 0xF8)
        return 4;
    if (lead >= 0xE0)
        return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// RFC 2047 words for `utf8`, joined by folding white space.
std::string EncodedWords(std::string_view utf8) {
    std::string out;
    size_t start = 0;
    while (start < utf8.size()) {
        size_t end = start;
        while (end < utf8.size()) {
            const size_t next = std::min(utf8.size(), end + SequenceLength(uint8_t(utf8[end])));
            if (next - start > kEncodedWordBytes)
                break;
            end = next;
        }
        if (!out.empty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(utf8.substr(start, end - start)) + "?=";
        start = end;
    }
    return out;
}

std::string WithCrlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string MessageId(std::string_view maker_address) {
    std::random_device random;
    std::uniform_int_distribution<uint64_t> digits;
    char unique[64];
    std::snprintf(unique, sizeof unique, "%lld.%016llx", static_cast<long long>(std::time(nullptr)),
        static_cast<unsigned long long>(digits(random)));
    const size_t at = maker_address.rfind('@');
    const std::string_view domain = at == std::string_view::npos ? std::string_view("localhost")
                                                                 : maker_address.substr(at + 1);
    // Appended piece by piece: GCC 12 at -O3 takes "<" + std::string for an overlapping copy.
    std::string id = "<";
    id += unique;
    id += ".zendo@";
    id += domain;
    id += '>';
    return id;
}

const char* ContentTypeFor(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
        [](unsigned char c) { return char(std::tolower(c)); });
    static const std::pair<const char*, const char*> kTypes[] = {
        { ".txt", "text/plain" },
        { ".htm", "text/html" },
        { ".html", "text/html" },
        { ".jpg", "image/jpeg" },
        { ".jpeg", "image/jpeg" },
        { ".gif", "image/gif" },
        { ".bmp", "image/bmp" },
        { ".png", "image/png" },
        { ".zip", "application/zip" },
        { ".rar", "application/vnd.rar" },
        { ".pdf", "application/pdf" },
        { ".doc", "application/msword" },
        { ".rtf", "application/rtf" },
        { ".xls", "application/vnd.ms-excel" },
    };
    for (const auto& [suffix, type] : kTypes) {
        if (extension == suffix)
            return type;
    }
    return "application/octet-stream";
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;
using MimeHandle = std::unique_ptr<curl_mime, CurlDeleter>;
using SlistHandle = std::unique_ptr<curl_slist, CurlDeleter>;

bool Append(SlistHandle& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr)
        return false;
    list.release();
    list.reset(grown);
    return true;
}

struct Callbacks {
    const std::function<void()>* on_connected;
    const std::atomic<bool>* cancel;
};

int OnPrerequest(void* data, char*, char*, int, int) {
    const auto* callbacks = static_cast<const Callbacks*>(data);
    if (callbacks->on_connected != nullptr && *callbacks->on_connected)
        (*callbacks->on_connected)();
    return CURL_PREREQFUNC_OK;
}

int OnProgress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* callbacks = static_cast<const Callbacks*>(data);
    return callbacks->cancel != nullptr && callbacks->cancel->load() ? 1 : 0;
}

void GlobalInitOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

std::string HeaderSafeText(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (uint8_t(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return out;
}

std::string EncodeHeaderText(std::string_view utf8) {
    const std::string safe = HeaderSafeText(utf8);
    if (IsPrintableAscii(safe) && safe.find("=?") == std::string::npos)
        return safe;
    return EncodedWords(safe);
}

std::string FormatMailbox(std::string_view name, std::string_view address) {
    const std::string safe_name = HeaderSafeText(name);
    const std::string safe_address = HeaderSafeText(address);
    if (safe_name.find_first_not_of(' ') == std::string::npos)
        return "<" + safe_address + ">";
    std::string phrase;
    if (IsPrintableAscii(safe_name) && safe_name.find("=?") == std::string::npos) {
        phrase = "\"";
        for (char c : safe_name) {
            if (c == '"' || c == '\\')
                phrase += '\\';
            phrase += c;
        }
        phrase += "\"";
    } else {
        phrase = EncodedWords(safe_name);
    }
    return phrase + " <" + safe_address + ">";
}

std::string FormatMailDate(std::time_t when) {
    static const char* const kDays[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
    static const char* const kMonths[]
        = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    std::tm local {};
    localtime_r(&when, &local);
    const long offset_minutes = local.tm_gmtoff / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
        kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
        local.tm_hour, local.tm_min, local.tm_sec, offset_minutes < 0 ? '-' : '+', magnitude / 60,
        magnitude % 60);
    return text;
}

std::string AttachmentDisposition(std::string_view file_name) {
    const std::string safe = HeaderSafeText(file_name);
    if (IsPrintableAscii(safe)) {
        std::string quoted;
        for (char c : safe) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return "Content-Disposition: attachment; filename=\"" + quoted + "\"";
    }
    // RFC 2231: attribute characters stay, every other byte is %XX.
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (char c : safe) {
        const uint8_t byte = uint8_t(c);
        const bool plain = (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z')
            || (byte >= 'a' && byte <= 'z') || std::strchr("!#$&+-.^_`|~", byte) != nullptr;
        if (plain && byte != 0) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return "Content-Disposition: attachment; filename*=UTF-8''" + encoded;
}

TSmtpSender::TSmtpSender(TSmtpServer server)
    : server_(std::move(server)) { }

TSendResult TSmtpSender::Send(const TMailMessage& message,
    const std::function<void()>& on_connected, const std::atomic<bool>* cancel) const {
    GlobalInitOnce();
    TSendResult result;
    CurlHandle curl(curl_easy_init());
    if (!curl) {
        result.error = "libcurl could not be initialised";
        return result;
    }
    CURL* handle = curl.get();

    // The message: a multipart/mixed body of the text and the attachments.
    MimeHandle mime(curl_mime_init(handle));
    curl_mimepart* text = curl_mime_addpart(mime.get());
    const std::string body = WithCrlf(message.body);
    curl_mime_data(text, body.data(), body.size());
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "quoted-printable");

    for (const std::string& path_text : message.attachment_paths) {
        const std::filesystem::path path(path_text);
        std::error_code error;
        if (!std::filesystem::is_regular_file(path, error))
            continue; // gone since it was chosen: left out without a word
        std::ifstream file(path, std::ios::binary);
        const std::string bytes(
            (std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.good() && !file.eof()) {
            result.error = "Could not read " + path_text;
            return result;
        }
        curl_mimepart* part = curl_mime_addpart(mime.get());
        curl_mime_data(part, bytes.data(), bytes.size());
        curl_mime_type(part, ContentTypeFor(path));
        curl_mime_encoder(part, "base64");
        curl_slist* part_headers
            = curl_slist_append(nullptr, AttachmentDisposition(path.filename().string()).c_str());
        curl_mime_headers(part, part_headers, 1);
        ++result.attachments_sent;
    }

    SlistHandle headers;
    const std::string maker = HeaderSafeText(server_.maker_address);
    const bool headers_ok = Append(headers, "Date: " + FormatMailDate(std::time(nullptr)))
        && Append(headers, "From: " + FormatMailbox(message.from_name, message.from_address))
        && Append(headers, "Sender: <" + maker + ">") && Append(headers, "To: <" + maker + ">")
        && Append(headers, "Subject: " + EncodeHeaderText(message.subject))
        && Append(headers, "Message-ID: " + MessageId(maker))
        && Append(headers, "MIME-Version: 1.0");
    SlistHandle recipients;
    if (!headers_ok || !Append(recipients, "<" + maker + ">")) {
        result.error = "Out of memory";
        return result;
    }

    char error_text[CURL_ERROR_SIZE] = {};
    Callbacks callbacks { &on_connected, cancel };
    const std::string url = "smtp://" + server_.host + ":" + std::to_string(server_.port);
    const std::string envelope_sender = "<" + maker + ">";
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, envelope_sender.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &OnPrerequest);
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, &callbacks);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &callbacks);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        result.error = error_text[0] != '\0' ? error_text : curl_easy_strerror(code);
        result.attachments_sent = 0;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace zendo

// TSmtpSender: one message to the maker over SMTP through libcurl, and the message itself:
// RFC 5322 headers with RFC 2047 words for Turkish text, a quoted-printable UTF-8 body and
// base64 attachments named per RFC 2231. Free of Qt widgets, so it can be tested alone.
// Thread-safety: a TSmtpSender holds only its server settings; Send may run on any thread and
// blocks until the server has answered or the connection failed.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zendo {

// The maker's mail server and address. The server is the machine's own mail transfer agent, as
// with Unix mail programs; it relays the message to the maker.
inline constexpr char kMakerMailHost[] = "localhost";
inline constexpr uint16_t kMakerMailPort = 25;
inline constexpr char kMakerMailAddress[] = "korvan@localhost";

struct TSmtpServer {
    std::string host = kMakerMailHost;
    uint16_t port = kMakerMailPort;
    // The envelope sender, the Sender header and the only recipient.
    std::string maker_address = kMakerMailAddress;
};

// A message as the user typed it, in UTF-8.
struct TMailMessage {
    std::string from_name;
    std::string from_address;
    std::string subject;
    // Lines end in LF, CR LF or CR.
    std::string body;
    // Files to attach in this order; paths that no longer exist are left out.
    std::vector<std::string> attachment_paths;
};

struct TSendResult {
    bool ok = false;
    // The client's error text when !ok.
    std::string error;
    size_t attachments_sent = 0;
};

class TSmtpSender {
public:
    explicit TSmtpSender(TSmtpServer server = {});

    const TSmtpServer& Server() const { return server_; }

    // Connects, sends `message` to the maker and disconnects, also after a failure.
    // `on_connected` runs on the calling thread once the server has accepted the connection and
    // greeted, before the message goes out. Setting `*cancel` aborts within about a second.
    TSendResult Send(const TMailMessage& message, const std::function<void()>& on_connected = {},
        const std::atomic<bool>* cancel = nullptr) const;

private:
    TSmtpServer server_;
};

// The pieces of the header, for the sender and its tests.

// `text` with every control character (CR and LF among them) turned into a blank, so that no
// typed text can start a header line of its own.
std::string HeaderSafeText(std::string_view text);
// Unstructured header text (a subject): as is when it is printable ASCII, else RFC 2047 "B"
// words of at most 75 characters, folded onto continuation lines, never splitting a character.
std::string EncodeHeaderText(std::string_view utf8);
// A mailbox for From: "name" <address>, the name quoted or RFC 2047-encoded; only the address
// when the name is blank.
std::string FormatMailbox(std::string_view name, std::string_view address);
// The Date header value, e.g. "Tue, 05 Mar 2024 14:07:09 +0300", in local time.
std::string FormatMailDate(std::time_t when);
// Content-Disposition of an attachment: filename="name" for printable ASCII names, else the
// RFC 2231 form filename*=UTF-8''percent-encoded.
std::string AttachmentDisposition(std::string_view file_name);

} // namespace zendo

// dovrant-mime FILE [--expected-content-type TYPE] [--extract DIR]
// Parses one message file and prints its header fields, its text lines and its attachments;
// with --extract, writes each attachment into DIR under its file name.
#include <cstdio>
#include <exception>
#include <string>

#include "mail/orv_msg.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: dovrant-mime FILE [--expected-content-type TYPE] [--extract DIR]\n");
    return 2;
}

void PrintField(const char* name, const std::string& value) {
    std::printf("%s: %s\n", name, value.c_str());
}

// A file name from a message may name only a file inside the target folder.
bool SafeFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file, expected, extractDir;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--expected-content-type" && i + 1 < argc)
            expected = argv[++i];
        else if (arg == "--extract" && i + 1 < argc)
            extractDir = argv[++i];
        else if (!arg.empty() && arg[0] != '-' && file.empty())
            file = arg;
        else
            return Usage();
    }
    if (file.empty()) return Usage();

    TOrvMsg msg;
    try {
        msg.SetExpectedContentType(expected);
        msg.ParseMsgFile(file);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    PrintField("From", msg.From());
    PrintField("Sender", msg.Sender());
    PrintField("ReplyTo", msg.ReplyTo());
    PrintField("SendTo", msg.SendTo());
    PrintField("CC", msg.CC());
    PrintField("Subject", msg.Subject());
    PrintField("MessageID", msg.MessageID());
    PrintField("InReplyTo", msg.InReplyTo());
    PrintField("Date", msg.Date());
    PrintField("ContentType", msg.ContentType());
    PrintField("ContentTransferEncoding", msg.ContentTransferEncoding());
    PrintField("MDNReportType", msg.MDNReportType());
    PrintField("MDNOrgMessageID", msg.MDNOrgMessageID());
    std::printf("Text: %zu line(s)\n", msg.Text().Count());
    for (std::string_view line : msg.Text()) std::printf("  %.*s\n", int(line.size()), line.data());
    const TAttachedFiles& files = msg.Attachments();
    std::printf("Attachments: %zu\n", files.Count());
    for (std::size_t i = 0; i < files.Count(); ++i) {
        const TAttachedFile& f = files[i];
        std::printf("  FileName: %s\n  ContentType: %s\n  Size: %zu\n", f.FileName().c_str(),
                    f.ContentType().c_str(), f.DataSize());
    }
    std::fflush(stdout);

    int status = 0;
    if (!extractDir.empty()) {
        if (extractDir.back() != '/') extractDir += '/';
        for (std::size_t i = 0; i < files.Count(); ++i) {
            const TAttachedFile& f = files[i];
            if (!SafeFileName(f.FileName())) {
                std::fprintf(stderr, "Attachment %zu not written: unsafe file name \"%s\"\n", i + 1,
                             f.FileName().c_str());
                status = 1;
                continue;
            }
            try {
                f.SaveToFile(extractDir + f.FileName());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
                status = 1;
            }
        }
    }
    return status;
}

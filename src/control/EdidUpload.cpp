#include "control/EdidUpload.h"

#include <cstring>

namespace corvane {

EdidFileCheck CheckEdidFile(const std::string& path) {
    EdidFileCheck check;
    bool padded = false;
    check.status = ReadEdidFile(path, check.bytes, &padded);
    if (check.status == EdidFileStatus::Ok)
        check.edid = DecodeEdid(check.bytes, padded);
    return check;
}

bool SendEdid(RouterSession& session, const EdidBytes& bytes) {
    std::uint8_t edid[kEdidSize];
    std::memcpy(edid, bytes.data(), kEdidSize);
    return session.SendUserEdid(edid);
}

EdidUpload UploadEdidFile(RouterSession& session, const std::string& path, std::string* refusal) {
    if ((session.connectionStatus != kConnecting && session.connectionStatus != kConnected) ||
        session.activeLink == nullptr)
        return EdidUpload::NotConnected;
    if (path.empty())
        return EdidUpload::NoFile;
    const EdidFileCheck check = CheckEdidFile(path);
    if (check.status == EdidFileStatus::OpenFailed)
        return EdidUpload::OpenFailed;
    if (check.status == EdidFileStatus::FormatError)
        return EdidUpload::FormatError;
    // Sources fall back to safe modes on an EDID like this: keep it off the router.
    if (!check.edid.Valid()) {
        if (refusal != nullptr) {
            refusal->clear();
            for (const std::string& error : check.edid.errors)
                *refusal += (refusal->empty() ? "" : "\n") + error;
        }
        return EdidUpload::Invalid;
    }
    return SendEdid(session, check.bytes) ? EdidUpload::Sent : EdidUpload::NotSent;
}

}  // namespace corvane

#pragma once

#include <string>

#include "edid/Edid.h"
#include "edid/EdidFile.h"
#include "protocol/RouterSession.h"

namespace corvane {

// A user EDID file read and checked, as the upload takes it.
struct EdidFileCheck {
    EdidFileStatus status = EdidFileStatus::OpenFailed;
    EdidBytes bytes{};
    Edid edid;  // decoded when status is Ok
    bool Valid() const { return status == EdidFileStatus::Ok && edid.Valid(); }
};
EdidFileCheck CheckEdidFile(const std::string& path);

// Sends "EDIT=", the 256 bytes and "!" as one write on the open link, past
// the queue, and logs it. False (logged) when the link did not take it all.
bool SendEdid(RouterSession& session, const EdidBytes& bytes);

// NotSent: the link did not take the whole frame (logged).
enum class EdidUpload { NotConnected, NoFile, NotSent, Sent, OpenFailed, FormatError, Invalid };

// The upload as the EDID dialog's "Apply" does it: only while the link is
// open (Connecting or Connected), and only an EDID without errors (Invalid:
// refusal, when given, lists them one a line). path is UTF-8 on Windows.
EdidUpload UploadEdidFile(RouterSession& session, const std::string& path,
                          std::string* refusal = nullptr);

}  // namespace corvane

#pragma once

#include "sensing/sources.h"

#include <memory>
#include <string>
#include <vector>

namespace orbel {

class ShellLink;

// The application in front on GNOME, native or XWayland alike, from our GNOME Shell extension,
// which tells every change of the focused window; the answer is the last one it told. While the
// extension is gone (the shell restarting, the extension turned off) the answer is none, and
// when it comes back it is asked afresh.
class GnomeShellFront final : public FrontSource {
public:
    // Null when the bus cannot be reached or the extension is not there to answer now.
    static std::unique_ptr<GnomeShellFront> open(const std::string& busAddress);

    explicit GnomeShellFront(std::unique_ptr<ShellLink> link);
    ~GnomeShellFront() override;
    GnomeShellFront(const GnomeShellFront&) = delete;
    GnomeShellFront& operator=(const GnomeShellFront&) = delete;

    std::vector<std::string> frontIds() override;

private:
    void read();

    std::unique_ptr<ShellLink> link_;
    std::vector<std::string> ids_;
};

} // namespace orbel

#include "gnome_shell_front.h"

#include "gnome_shell/shell_link.h"

#include <QStringList>

namespace orbel {

std::unique_ptr<GnomeShellFront> GnomeShellFront::open(const std::string& busAddress) {
    if (busAddress.empty()) return nullptr;
    auto link = std::make_unique<ShellLink>(busAddress);
    if (!link->usable()) return nullptr;
    return std::make_unique<GnomeShellFront>(std::move(link));
}

GnomeShellFront::GnomeShellFront(std::unique_ptr<ShellLink> link) : link_(std::move(link)) {
    QObject::connect(link_.get(), &ShellLink::ready, link_.get(), [this] { read(); });
    QObject::connect(link_.get(), &ShellLink::propertiesChanged, link_.get(), [this] { read(); });
    QObject::connect(link_.get(), &ShellLink::lost, link_.get(), [this] { ids_.clear(); });
    read();
}

GnomeShellFront::~GnomeShellFront() = default;

std::vector<std::string> GnomeShellFront::frontIds() {
    return ids_;
}

void GnomeShellFront::read() {
    ids_.clear();
    for (const QString& id : link_->properties().value(QStringLiteral("FrontApp")).toStringList())
        ids_.push_back(id.toStdString());
}

} // namespace orbel

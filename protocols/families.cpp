#include "protocols/families.h"

#include <array>

#include "core/text.h"
#include "protocols/civ/civ.h"
#include "protocols/flrig/flrig.h"
#include "protocols/ft817/ft817.h"
#include "protocols/kenwood/kenwood.h"
#include "protocols/rigctld/rigctld.h"
#include "protocols/yaesu/yaesu.h"

namespace cat {

namespace {

// One line per family, in the protocol list's order; a stored list position keeps its meaning,
// so a new family comes last.
std::span<const RadioFamily* const> Table() {
    static const std::array table{
        &CivFamily(),
        &KenwoodFamily(),
        &Ft817Family(),
        &YaesuFamily(),
    };
    return table;
}

// The rig-sharing servers' languages: a port entry chooses them (rigctld://host), never the
// protocol list, so they are kept out of it. Each one's record names the port kind that reaches it.
std::span<const RadioFamily* const> ServerTable() {
    static const std::array<const RadioFamily*, 2> table{&RigctldFamily(), &FlrigFamily()};
    return table;
}

}  // namespace

std::span<const RadioFamily* const> Families() { return Table(); }

const RadioFamily* FamilyFor(Protocol protocol) {
    for (const RadioFamily* family : Table())
        if (family->Id() == protocol) return family;
    for (const RadioFamily* family : ServerTable())
        if (family->Id() == protocol) return family;
    return nullptr;
}

const RadioFamily* ServerFamily(PortKind kind) {
    for (const RadioFamily* family : ServerTable())
        if (family->Record().server->portKind == kind) return family;
    return nullptr;
}

std::span<const RadioFamily* const> ServerFamilies() { return ServerTable(); }

bool ThroughServer(PortKind kind) { return ServerFamily(kind) != nullptr; }

bool IsSharingServer(Protocol protocol) {
    const RadioFamily* family = FamilyFor(protocol);
    return family && family->Record().server.has_value();
}

const RadioFamily* FamilyAt(int listPosition) {
    if (listPosition < 0 || listPosition >= static_cast<int>(Table().size())) return nullptr;
    return Table()[static_cast<std::size_t>(listPosition)];
}

const RadioFamily* FamilyNamed(std::string_view text) {
    const std::string wanted = UpperCase(text);
    for (const RadioFamily* family : Table())
        if (UpperCase(family->Name()) == wanted) return family;
    return nullptr;
}

Protocol ProtocolNamed(std::string_view text) {
    const RadioFamily* family = FamilyNamed(text);
    return family ? family->Id() : Protocol::None;
}

int ListPosition(const RadioFamily& family) {
    for (std::size_t i = 0; i < Table().size(); ++i)
        if (Table()[i] == &family) return static_cast<int>(i);
    return -1;
}

}  // namespace cat

#pragma once

// Every language a line may be read in: the protocol list's radio families and the rig-sharing
// servers', which a port entry chooses.
#include <vector>

#include "core/port_names.h"
#include "protocols/families.h"

inline std::vector<const cat::RadioFamily*> EveryFamily() {
    std::vector<const cat::RadioFamily*> all(cat::Families().begin(), cat::Families().end());
    for (cat::PortKind kind : {cat::PortKind::Rigctld, cat::PortKind::Flrig})
        all.push_back(cat::ServerFamily(kind));
    return all;
}

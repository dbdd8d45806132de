// Whether Windows' own time service may set this computer's clock too.
#include "engine/peer_rule.h"

#include "base/ascii_text.h"

int PeerSetsClock(const TimeServicePeer &peer)
{
    return peer.installed && peer.startType != PEER_START_DISABLED && !EqualsIgnoringCase(peer.type, "NoSync");
}

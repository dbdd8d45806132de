// Whether Windows' own time service may set this computer's clock too.
#include "engine/peer_rule.h"

#include "base/ascii_text.h"

namespace {

const char *const kSourceWords[] = {"default", "local", "policy"};

}  // namespace

PeerVerdict JudgePeer(const TimeServicePeer &peer)
{
    PeerVerdict v = {};
    v.typeFrom = peer.policyType[0] ? PEER_FROM_POLICY : peer.localType[0] ? PEER_FROM_LOCAL : PEER_FROM_DEFAULT;
    v.type = v.typeFrom == PEER_FROM_POLICY ? peer.policyType : peer.localType;
    v.ntpClientFrom = peer.policyNtpClient != PEER_VALUE_MISSING  ? PEER_FROM_POLICY
                      : peer.localNtpClient != PEER_VALUE_MISSING ? PEER_FROM_LOCAL
                                                                  : PEER_FROM_DEFAULT;
    v.ntpClientOn = v.ntpClientFrom == PEER_FROM_POLICY  ? peer.policyNtpClient != 0
                    : v.ntpClientFrom == PEER_FROM_LOCAL ? peer.localNtpClient != 0
                                                         : 1;
    // The start type is the service's own value, whoever wrote it.
    if (!peer.installed || peer.startType == PEER_START_DISABLED) {
        v.decidedBy = PEER_FROM_LOCAL;
        return v;
    }
    if (EqualsIgnoringCase(v.type, "NoSync")) {
        v.decidedBy = v.typeFrom;
        return v;
    }
    if (!v.ntpClientOn) {
        v.decidedBy = v.ntpClientFrom;
        return v;
    }
    v.setsClock = 1;
    // A Type the policy sets can only be changed there; else the local Type is the one to set.
    v.decidedBy = v.typeFrom == PEER_FROM_POLICY ? PEER_FROM_POLICY : PEER_FROM_LOCAL;
    return v;
}

const char *PeerSourceWord(PeerSource source) { return kSourceWords[source]; }

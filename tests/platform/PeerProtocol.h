// What the platform tests and their peer program say to each other.
//
// The peer answers every event it has a handler for ('echo', 'quit') with a 'seen' event to the
// sender: kWhatKey holds "<refcon> <class> <id> <activations>" in decimal, '----' and 'Vnmp' come
// back as they arrived, kSenderKey holds the 'Psn ' it received. It never handles 'nohd'.
#pragma once

#include "AppleEvents.h"

namespace platform_test {

constexpr AEEventClass kTestClass = FOUR_CHAR_CODE("VnTs");
constexpr AEEventID kEcho = FOUR_CHAR_CODE("echo");
constexpr AEEventID kQuit = FOUR_CHAR_CODE("quit");
constexpr AEEventID kUnhandled = FOUR_CHAR_CODE("nohd");
constexpr AEEventID kSeen = FOUR_CHAR_CODE("seen");
constexpr AEEventID kGone = FOUR_CHAR_CODE("gone");
constexpr SRefCon kEchoRefcon = 7001;
constexpr SRefCon kQuitRefcon = 7003;

constexpr AEKeyword kPayloadKey = FOUR_CHAR_CODE("Vnmp");
constexpr AEKeyword kSenderKey = FOUR_CHAR_CODE("sndr");
constexpr AEKeyword kWhatKey = FOUR_CHAR_CODE("what");
constexpr AEKeyword kPsnKey = FOUR_CHAR_CODE("Psn ");

// Read by the peer: the bundle identifier to register, and (to send one 'gone' event and exit) a pid.
constexpr char kPeerBundleVariable[] = "VARNEL_PEER_BUNDLE_ID";
constexpr char kPeerSendToVariable[] = "VARNEL_PEER_SEND_TO";

}  // namespace platform_test

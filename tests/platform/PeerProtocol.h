// What the platform tests and their peer program say to each other. Every answer of the peer
// is a kTestClass event to the asking process holding kWhatKey "<refcon> <class> <id>
// <activations>" (class and id as four characters), the '----' and 'Vnmp' it received, and the
// received 'Psn ' as kSenderKey. Serving, it answers 'echo' and 'quit' (then ends) with 'seen',
// and has no handler for 'nohd'. With kPeerSendToVariable set it sends one 'gone' to that pid
// right after registering and ends.
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
constexpr AEKeyword kPsnKey = FOUR_CHAR_CODE("Psn ");
constexpr AEKeyword kSenderKey = FOUR_CHAR_CODE("sndr");
constexpr AEKeyword kWhatKey = FOUR_CHAR_CODE("what");

constexpr char kPeerBundleVariable[] = "VARNEL_PEER_BUNDLE_ID";
constexpr char kPeerSendToVariable[] = "VARNEL_PEER_SEND_TO";

}  // namespace platform_test

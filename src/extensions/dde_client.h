// Requests to the services of other programs (and of other running
// copies of this one) over the local service's sockets: /dde queues pokes,
// executes and requests; $dde( and the bare $dde ask for an item and wait
// for the answer; $isdde( tells whether a service answers; /ddeserver
// turns this program's own service on and off and renames it.
//
// A service name that this program itself serves is answered here
// directly, without a socket.
#pragma once

#include <string>

// The kinds of transaction.
enum DdeKind : int {
    kDdePoke = 0,
    kDdeExecute = 1,
    kDdeRequest = 2,       // the answer is dropped
    kDdeRequestAnswer = 3, // the answer comes back
};

// Milliseconds between two queued requests (the DDE delay setting).
extern int dde_delay_ms;
// Seconds a conversation stays cached without a transaction.
constexpr int kDdeIdleSeconds = 30;

// One transaction with a service on the topic: 1 when it was made. For
// kDdeRequestAnswer `data` becomes the answer ("$error" when it is empty,
// too long or could not be read). Service, topic and item may not hold a
// line end; a backslash of the item is sent as "/".
int dde_client_transaction(const std::string& service, const std::string& topic, const std::string& item,
                           std::string& data, int kind, int timeout_ms);
// 1 when a server answers to the service (the topic "*" when empty).
int dde_service_answers(const std::string& service, const std::string& topic);
// The cached conversation's service and topic ("" when none).
const std::string& dde_cached_service();
const std::string& dde_cached_topic();

// Queues a transaction for later; the first runs at once when none waits.
void dde_queue_request(const std::string& service, const std::string& topic, const std::string& item,
                       const std::string& data, int kind);
// Transactions waiting in the queue.
int dde_queue_length();

void dde_client_install();
void dde_client_uninstall();

// The certificate and pass-phrase prompts of SSL links, shown on the
// user-interface thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>

struct SslCertRecord;

// 0 cancelled (or closed, or no answer in time), 1 accepted, 2 accepted and
// to be remembered.
int ssl_cert_prompt(const SslCertRecord& record, std::shared_ptr<std::atomic<int>> cancelled);
// 1 with the typed pass phrase (at most 256 characters), 0 none.
int ssl_passphrase_prompt(std::string& out);
// One second of the program's clock for the open prompts: a prompt left
// unanswered for kSslPromptSeconds of them closes as cancelled. The frame's
// one-second tick calls it.
void ssl_prompts_tick();
// How many prompts are open (either kind).
int ssl_prompts_open();
// Object names of the prompt's parts, for finding them.
constexpr const char* kSslPromptName = "sslCertPrompt";
constexpr const char* kSslPromptRemember = "sslCertRemember";
constexpr const char* kSslPromptDetails = "sslCertDetails";
constexpr const char* kSslPassphraseName = "sslPassphrase";

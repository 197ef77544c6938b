// $ial(mask, N) and $ialchan(mask, #channel, N): the internal address list
// seen from scripts.
#pragma once

struct IdentCall;

int id_ial(IdentCall& call);
int id_ialchan(IdentCall& call);

// Registers both identifiers with the interpreter.
void ial_identifiers_register();

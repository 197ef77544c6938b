// $tip and $tips.
#pragma once

struct IdentCall;

int id_tip(IdentCall& call);
int id_tips(IdentCall& call);
void tip_identifiers_install();

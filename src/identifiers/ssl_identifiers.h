// $ssl and $sslready.
#pragma once

void ssl_identifiers_register();

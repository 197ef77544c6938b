#include "identifiers/builtin_identifiers.h"

#include "identifiers/channel_identifiers.h"
#include "identifiers/digest_identifiers.h"
#include "identifiers/empty_list_identifiers.h"
#include "identifiers/encoding_identifiers.h"
#include "identifiers/input_identifiers.h"
#include "identifiers/measure_identifiers.h"
#include "identifiers/connection_identifiers.h"
#include "identifiers/network_identifiers.h"
#include "identifiers/number_identifiers.h"
#include "identifiers/popup_identifiers.h"
#include "identifiers/script_identifiers.h"
#include "identifiers/text_identifiers.h"
#include "identifiers/time_identifiers.h"
#include "identifiers/tokens.h"
#include "identifiers/user_list_identifiers.h"
#include "identifiers/value_identifiers.h"
#include "identifiers/window_identifiers.h"

void builtin_identifiers_install()
{
    tokens_register();
    encoding_identifiers_register();
    digest_identifiers_register();
    value_identifiers_register();
    text_identifiers_register();
    number_identifiers_register();
    time_identifiers_register();
    channel_identifiers_register();
    user_list_identifiers_register();
    window_identifiers_register();
    input_identifiers_register();
    script_identifiers_register();
    network_identifiers_register();
    connection_identifiers_register();
    empty_list_identifiers_register();
    measure_identifiers_register();
    popup_identifiers_register();
}

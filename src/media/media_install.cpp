#include "media/media_install.h"

#include "media/agent_page.h"
#include "media/agent_settings.h"
#include "media/agent_words.h"
#include "media/event_speech.h"
#include "media/mixer.h"
#include "media/sound_events.h"
#include "media/sound_identifiers.h"
#include "media/sound_player.h"

void media_install()
{
    sound_player_install();
    sound_events_install();
    sound_identifiers_install();
    mixer_install();
    agent_words_install();
    agent_settings_install();
    event_speech_install();
    agent_page_install();
}

void media_uninstall()
{
    agent_page_uninstall();
    event_speech_uninstall();
    agent_settings_uninstall();
    agent_words_uninstall();
    mixer_uninstall();
    sound_events_uninstall();
    sound_player_uninstall();
}

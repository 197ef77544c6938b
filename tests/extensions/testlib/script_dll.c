/* A shared object with the routines of the script call interface, for the
 * tests of /dll, $dll( and $dllcall(. Built twice: as it is (LoadDll keeps
 * it loaded) and with SCRIPT_DLL_ONCE (LoadDll clears the keep flag, so it
 * is unloaded after every call). LoadDll and UnloadDll append a line to the
 * file named by KEST_TEST_DLL_LOG when it is set. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define BUFFER 4200

struct LoadInfo {
    int version;
    int main_window;
    int keep;
};

static int refuse_idle = 0;
static int calls = 0;

static void log_line(const char *word, int value)
{
    const char *path = getenv("KEST_TEST_DLL_LOG");
    FILE *f;
    if (!path || !*path)
        return;
    f = fopen(path, "a");
    if (!f)
        return;
    fprintf(f, "%s %d\n", word, value);
    fclose(f);
}

void LoadDll(struct LoadInfo *info)
{
    log_line("load", info->version);
#ifdef SCRIPT_DLL_ONCE
    info->keep = 0;
#endif
}

int UnloadDll(int reason)
{
    log_line(reason == 1 && refuse_idle ? "refuse" : "unload", reason);
    return reason == 1 && refuse_idle ? 0 : 1;
}

/* The data upper-cased, as the value. */
int upper(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    char *p;
    (void)main_window; (void)window; (void)params; (void)show; (void)no_pause;
    for (p = data; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = (char)(*p - 'a' + 'A');
    ++calls;
    return 3;
}

/* What the call was given, as the value. */
int info(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    char copy[BUFFER];
    size_t zero_from = strlen(data), i;
    int zeroed = 1;
    for (i = zero_from; i < BUFFER; ++i)
        if (data[i] != 0)
            zeroed = 0;
    for (i = 0; i < BUFFER; ++i)
        if (params[i] != 0)
            zeroed = 0;
    snprintf(copy, sizeof copy, "main=%d window=%d show=%d nopause=%d zeroed=%d len=%u calls=%d", main_window,
             window > 0 ? 1 : 0, show, no_pause, zeroed, (unsigned)zero_from, ++calls);
    memcpy(data, copy, strlen(copy) + 1);
    return 3;
}

/* The data followed by " $1-" is a command to run; its $1- is "one two". */
int command(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    (void)main_window; (void)window; (void)show; (void)no_pause;
    if (strlen(data) + 5 < BUFFER)
        strcat(data, " $1-");
    strcpy(params, "one two");
    ++calls;
    return 2;
}

/* The data as it came, with the result code its first character asks for
 * ("0" halt, "1" continue, "3" value). */
int answer(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    (void)main_window; (void)window; (void)params; (void)show; (void)no_pause;
    ++calls;
    return data[0] - '0';
}

/* Fills the whole buffer, no zero at its end. */
int fill(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    (void)main_window; (void)window; (void)params; (void)show; (void)no_pause;
    memset(data, 'x', BUFFER);
    memset(params, 'y', BUFFER);
    return 3;
}

/* Whether UnloadDll refuses the idle unload: the data "1" or "0". */
int refuse(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    (void)main_window; (void)window; (void)params; (void)show; (void)no_pause;
    refuse_idle = data[0] == '1';
    return 1;
}

/* Waits until the file named by the data exists (at most 60 seconds), then
 * leaves a command for the caller: echo of "waited" and its $1-. */
int wait_file(int main_window, int window, char *data, char *params, int show, int no_pause)
{
    int i;
    struct timespec pause = {0, 10 * 1000 * 1000};
    (void)main_window; (void)window; (void)show; (void)no_pause;
    for (i = 0; i < 6000 && access(data, F_OK) != 0; ++i)
        nanosleep(&pause, NULL);
    strcpy(params, "after the wait");
    strcpy(data, "set %waited $1-");
    return 2;
}

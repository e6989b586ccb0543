// stand_in_module.cpp - a module for the host simulator that is not the
// filter: "-log" mails N0OTHER and removes no log, and every other command
// does nothing. What the simulator says a command did must follow it, not
// the filter linked into the simulator.
#include <cstdio>
#include <cstring>

extern "C" {

__attribute__((visibility("default"))) int svc_main(int argc, char **argv, char *reply, int)
{
    if (reply)
        reply[0] = '\0';
    if (argc < 2 || strcmp(argv[1], "-log") != 0)
        return 0;
    FILE *mail = fopen("mail/mail.in", "a");
    if (!mail)
        return 0;
    fputs("#\nSP N0OTHER < MORVEL\nNot the filter's log.\n/EX\n", mail);
    fclose(mail);
    return 0;
}

__attribute__((visibility("default"))) int dll_main(int argc, char **argv)
{
    return svc_main(argc, argv, nullptr, 0);
}
}

/* Prints this machine's computer ID and nothing else, through the C interface. When there
 * is none, prints the status and why on standard error and exits with code 1. */
#include <computer_id/c_interface.h>

#include <stdio.h>

int main(void)
{
    char id[COMPUTER_ID_MAX_SIZE];
    char message[256];
    int status = computer_id_get(id, sizeof id, message, sizeof message);
    if (status != COMPUTER_ID_OK) {
        fprintf(stderr, "status %d: %s\n", status, message);
        return 1;
    }
    printf("%s\n", id);
    return 0;
}

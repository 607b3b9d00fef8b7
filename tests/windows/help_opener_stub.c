/* Stands in for the help viewer: writes its one argument to the file named by
   BREVOR_HELP_OPENED, through a temporary file renamed at the end, so that a reader never sees
   half a line. */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char **argv) {
    const char *out = getenv("BREVOR_HELP_OPENED");
    char temporary[MAX_PATH];
    FILE *file;
    if (argc != 2 || out == NULL || strlen(out) + 5 > sizeof temporary) return 2;
    strcpy(temporary, out);
    strcat(temporary, ".tmp");
    file = fopen(temporary, "wb");
    if (file == NULL) return 3;
    fputs(argv[1], file);
    if (fclose(file) != 0) return 4;
    return MoveFileExA(temporary, out, MOVEFILE_REPLACE_EXISTING) ? 0 : 5;
}

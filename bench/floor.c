/* The floor for a renaming run: only the system calls, depth-first, folders after their
 * contents, every entry renamed once (to its name with "~" appended). */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

static long renames;

static void walk(int dirFd) {
    int listFd = dup(dirFd);
    DIR* dir = fdopendir(listFd);
    size_t count = 0, capacity = 256;
    char** names = malloc(capacity * sizeof *names);
    unsigned char* types = malloc(capacity);
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
        if (count == capacity) {
            capacity *= 2;
            names = realloc(names, capacity * sizeof *names);
            types = realloc(types, capacity);
        }
        names[count] = strdup(entry->d_name);
        types[count++] = entry->d_type;
    }
    closedir(dir);
    for (size_t i = 0; i < count; ++i) {
        if (types[i] == DT_DIR) {
            int sub = openat(dirFd, names[i], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                walk(sub);
                close(sub);
            }
        }
        char target[512];
        snprintf(target, sizeof target, "%s~", names[i]);
        if (syscall(SYS_renameat2, dirFd, names[i], dirFd, target, RENAME_NOREPLACE) == 0)
            ++renames;
        free(names[i]);
    }
    free(names);
    free(types);
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    int root = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return 1;
    walk(root);
    printf("%ld renames\n", renames);
    return 0;
}

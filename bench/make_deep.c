/* Makes the trees for bench/deep_bench.sh, with *at calls only (a deep tree's paths are far
 * longer than PATH_MAX):
 *   make_deep DIR deep LEVELS   LEVELS folders nested in one another, each name 100 bytes of
 *                               Czech text, a file at the bottom
 *   make_deep DIR wide FILES    FILES empty files with Czech names in one folder
 * The same arguments always make the same tree. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kNameBytes = 100 };

/* A name of exactly kNameBytes bytes: the level's number, then Czech words cut at a whole
 * character, then 'x' to the length. */
static void LevelName(long level, char* name) {
    static const char words[] = "Příliš žluťoučký kůň úpěl ďábelské ódy Čeština ";
    int used = snprintf(name, kNameBytes + 1, "Úroveň %05ld ", level);
    size_t from = 0;
    for (;;) {
        size_t length = 1;
        while ((words[from + length] & 0xC0) == 0x80) ++length;
        if (used + (int)length > kNameBytes) break;
        memcpy(name + used, words + from, length);
        used += (int)length;
        from += length;
        if (words[from] == '\0') from = 0;
    }
    memset(name + used, 'x', (size_t)(kNameBytes - used));
    name[kNameBytes] = '\0';
}

static int Fail(const char* what) {
    perror(what);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s DIR deep LEVELS | DIR wide FILES\n", argv[0]);
        return 2;
    }
    const long count = atol(argv[3]);
    if (mkdir(argv[1], 0755) != 0) return Fail(argv[1]);
    int folder = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return Fail(argv[1]);
    if (strcmp(argv[2], "deep") == 0) {
        char name[kNameBytes + 1];
        for (long level = 0; level < count; ++level) {
            LevelName(level, name);
            if (mkdirat(folder, name, 0755) != 0) return Fail("mkdirat");
            const int sub = openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub < 0) return Fail("openat");
            close(folder);
            folder = sub;
        }
        const int file = openat(folder, "Čaj.txt", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (file < 0) return Fail("Čaj.txt");
        close(file);
    } else if (strcmp(argv[2], "wide") == 0) {
        char name[64];
        for (long i = 0; i < count; ++i) {
            snprintf(name, sizeof name, "Žluťoučký kůň %07ld.txt", i);
            const int file = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (file < 0) return Fail(name);
            close(file);
        }
    } else {
        return 2;
    }
    close(folder);
    return 0;
}

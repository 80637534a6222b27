/* The floor of bench/floor.c split as tovana-cli splits a run on a quick disk: a second thread
 * opens and lists the folders ahead (in the order the walk goes into them, at most 32 folders
 * ahead), and the first thread only renames, depth-first, folders after their contents, every
 * entry once (to its name with "~" appended). Against floor.c it shows what the split itself
 * costs where the listing on the other CPU leaves the entries in that CPU's cache. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

struct listing {
    int fd;
    size_t count;
    char** names;
    unsigned char* types;
};

enum { kAhead = 32 };
static struct listing* queue[kAhead];
static size_t head, tail;
static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t filled = PTHREAD_COND_INITIALIZER;
static pthread_cond_t emptied = PTHREAD_COND_INITIALIZER;
static int rootFd;
static long renames;

static void push(struct listing* listing) {
    pthread_mutex_lock(&mutex);
    while (tail - head == kAhead)
        pthread_cond_wait(&emptied, &mutex);
    queue[tail++ % kAhead] = listing;
    pthread_cond_signal(&filled);
    pthread_mutex_unlock(&mutex);
}

static struct listing* pop(void) {
    pthread_mutex_lock(&mutex);
    while (tail == head)
        pthread_cond_wait(&filled, &mutex);
    struct listing* listing = queue[head++ % kAhead];
    pthread_cond_signal(&emptied);
    pthread_mutex_unlock(&mutex);
    return listing;
}

static struct listing* list(int dirFd) {
    struct listing* listing = calloc(1, sizeof *listing);
    size_t capacity = 256;
    listing->fd = dirFd;
    listing->names = malloc(capacity * sizeof *listing->names);
    listing->types = malloc(capacity);
    DIR* dir = fdopendir(dup(dirFd));
    struct dirent* entry;
    while ((entry = readdir(dir)) != NULL) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        if (listing->count == capacity) {
            capacity *= 2;
            listing->names = realloc(listing->names, capacity * sizeof *listing->names);
            listing->types = realloc(listing->types, capacity);
        }
        listing->names[listing->count] = strdup(entry->d_name);
        listing->types[listing->count++] = entry->d_type;
    }
    closedir(dir);
    return listing;
}

/* The second thread: each folder listed before those in it, as the walk goes into them. */
static void listAhead(int dirFd) {
    struct listing* listing = list(dirFd);
    push(listing);
    for (size_t i = 0; i < listing->count; ++i) {
        if (listing->types[i] == DT_DIR) {
            int sub =
                openat(dirFd, listing->names[i], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                listAhead(sub);
            } else {
                /* An empty listing keeps the walk's order. */
                struct listing* none = calloc(1, sizeof *none);
                none->fd = -1;
                push(none);
            }
        }
    }
}

static void* lister(void* unused) {
    (void)unused;
    listAhead(rootFd);
    return NULL;
}

static void walk(void) {
    struct listing* listing = pop();
    for (size_t i = 0; i < listing->count; ++i) {
        if (listing->types[i] == DT_DIR)
            walk();
        char target[512];
        snprintf(target, sizeof target, "%s~", listing->names[i]);
        if (syscall(SYS_renameat2, listing->fd, listing->names[i], listing->fd, target,
                    RENAME_NOREPLACE) == 0)
            ++renames;
        free(listing->names[i]);
    }
    if (listing->fd >= 0)
        close(listing->fd);
    free(listing->names);
    free(listing->types);
    free(listing);
}

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    rootFd = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return 1;
    pthread_t thread;
    pthread_create(&thread, NULL, lister, NULL);
    walk();
    pthread_join(thread, NULL);
    printf("%ld renames\n", renames);
    return 0;
}

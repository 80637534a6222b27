/* A slow disk to measure on: a FUSE file system that passes every request through to a folder
 * below it and waits a fixed time first, as a network or USB mount does for each round trip.
 * The program under test goes through the kernel as it would on such a mount (no shim inside
 * the program), and requests are served by several threads at once, so renames made in
 * parallel overlap here as they would against a server.
 *
 *   latencyfs LOWER MOUNTPOINT -o delay_us=1000 [-f] [-s]
 *   fusermount3 -u MOUNTPOINT
 *
 * On unmount it tells on stderr how many requests it served (with -f, where stderr stays).
 *
 * Names are passed on as bytes; links are not followed; a rename with RENAME_NOREPLACE stays
 * one (renameat2 below), so the program sees the same file-system behaviour as on the disk below.
 */
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

struct options {
    unsigned long delay_us;
    const char* lower;
};

static struct options options;
static int lower_fd = -1;
/* Requests served, told when the file system is unmounted: the round trips a run cost. */
static unsigned long requests;

#define OPTION(t, p) {t, offsetof(struct options, p), 1}
static const struct fuse_opt option_spec[] = {OPTION("delay_us=%lu", delay_us), FUSE_OPT_END};

/* Every request waits first: a round trip to the server. */
static void wait_round_trip(void) {
    __atomic_add_fetch(&requests, 1, __ATOMIC_RELAXED);
    if (options.delay_us == 0) {
        return;
    }
    struct timespec delay = {(time_t)(options.delay_us / 1000000),
                             (long)(options.delay_us % 1000000) * 1000};
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
}

/* A FUSE path ("/a/b") relative to the folder below ("a/b"; the root is "."). */
static const char* below(const char* path) {
    while (*path == '/') {
        ++path;
    }
    return *path ? path : ".";
}

static int result(int status) { return status == -1 ? -errno : 0; }

static void* lfs_init(struct fuse_conn_info* conn, struct fuse_config* config) {
    (void)conn;
    config->use_ino = 1;
    /* Nothing cached in the kernel: each lookup is a request, as with a server that others
     * change too. Hard-link counts also stay right. */
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    return NULL;
}

static void lfs_destroy(void* data) {
    (void)data;
    fprintf(stderr, "latencyfs: %lu requests\n", __atomic_load_n(&requests, __ATOMIC_RELAXED));
}

static int lfs_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
    wait_round_trip();
    if (fi != NULL) {
        return result(fstat((int)fi->fh, st));
    }
    return result(fstatat(lower_fd, below(path), st, AT_SYMLINK_NOFOLLOW));
}

static int lfs_access(const char* path, int mask) {
    wait_round_trip();
    return result(faccessat(lower_fd, below(path), mask, AT_SYMLINK_NOFOLLOW));
}

static int lfs_readlink(const char* path, char* buf, size_t size) {
    wait_round_trip();
    ssize_t length = readlinkat(lower_fd, below(path), buf, size - 1);
    if (length == -1) {
        return -errno;
    }
    buf[length] = '\0';
    return 0;
}

static int lfs_opendir(const char* path, struct fuse_file_info* fi) {
    wait_round_trip();
    int fd = openat(lower_fd, below(path), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd == -1) {
        return -errno;
    }
    DIR* dir = fdopendir(fd);
    if (dir == NULL) {
        int error = errno;
        close(fd);
        return -error;
    }
    fi->fh = (uint64_t)(uintptr_t)dir;
    return 0;
}

static int lfs_readdir(const char* path, void* buf, fuse_fill_dir_t filler, off_t offset,
                       struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
    (void)path;
    (void)flags;
    wait_round_trip();
    DIR* dir = (DIR*)(uintptr_t)fi->fh;
    if (offset == 0) {
        rewinddir(dir);
    } else {
        seekdir(dir, offset);
    }
    struct dirent* entry;
    errno = 0;
    while ((entry = readdir(dir)) != NULL) {
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = entry->d_ino;
        st.st_mode = (mode_t)(DTTOIF(entry->d_type));
        if (filler(buf, entry->d_name, &st, telldir(dir), 0)) {
            break;
        }
    }
    return entry == NULL && errno != 0 ? -errno : 0;
}

static int lfs_releasedir(const char* path, struct fuse_file_info* fi) {
    (void)path;
    closedir((DIR*)(uintptr_t)fi->fh);
    return 0;
}

static int lfs_mknod(const char* path, mode_t mode, dev_t rdev) {
    wait_round_trip();
    return result(mknodat(lower_fd, below(path), mode, rdev));
}

static int lfs_mkdir(const char* path, mode_t mode) {
    wait_round_trip();
    return result(mkdirat(lower_fd, below(path), mode));
}

static int lfs_unlink(const char* path) {
    wait_round_trip();
    return result(unlinkat(lower_fd, below(path), 0));
}

static int lfs_rmdir(const char* path) {
    wait_round_trip();
    return result(unlinkat(lower_fd, below(path), AT_REMOVEDIR));
}

static int lfs_symlink(const char* target, const char* path) {
    wait_round_trip();
    return result(symlinkat(target, lower_fd, below(path)));
}

static int lfs_rename(const char* from, const char* to, unsigned int flags) {
    wait_round_trip();
    return result(renameat2(lower_fd, below(from), lower_fd, below(to), flags));
}

static int lfs_link(const char* from, const char* to) {
    wait_round_trip();
    return result(linkat(lower_fd, below(from), lower_fd, below(to), 0));
}

static int lfs_chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
    wait_round_trip();
    if (fi != NULL) {
        return result(fchmod((int)fi->fh, mode));
    }
    return result(fchmodat(lower_fd, below(path), mode, 0));
}

static int lfs_chown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
    wait_round_trip();
    if (fi != NULL) {
        return result(fchown((int)fi->fh, uid, gid));
    }
    return result(fchownat(lower_fd, below(path), uid, gid, AT_SYMLINK_NOFOLLOW));
}

static int lfs_truncate(const char* path, off_t size, struct fuse_file_info* fi) {
    wait_round_trip();
    if (fi != NULL) {
        return result(ftruncate((int)fi->fh, size));
    }
    int fd = openat(lower_fd, below(path), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd == -1) {
        return -errno;
    }
    int status = result(ftruncate(fd, size));
    close(fd);
    return status;
}

static int lfs_utimens(const char* path, const struct timespec times[2],
                       struct fuse_file_info* fi) {
    wait_round_trip();
    if (fi != NULL) {
        return result(futimens((int)fi->fh, times));
    }
    return result(utimensat(lower_fd, below(path), times, AT_SYMLINK_NOFOLLOW));
}

static int lfs_create(const char* path, mode_t mode, struct fuse_file_info* fi) {
    wait_round_trip();
    int fd = openat(lower_fd, below(path), fi->flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd == -1) {
        return -errno;
    }
    fi->fh = (uint64_t)fd;
    return 0;
}

static int lfs_open(const char* path, struct fuse_file_info* fi) {
    wait_round_trip();
    int fd = openat(lower_fd, below(path), fi->flags | O_NOFOLLOW | O_CLOEXEC);
    if (fd == -1) {
        return -errno;
    }
    fi->fh = (uint64_t)fd;
    return 0;
}

static int lfs_read(const char* path, char* buf, size_t size, off_t offset,
                    struct fuse_file_info* fi) {
    (void)path;
    wait_round_trip();
    ssize_t count = pread((int)fi->fh, buf, size, offset);
    return count == -1 ? -errno : (int)count;
}

static int lfs_write(const char* path, const char* buf, size_t size, off_t offset,
                     struct fuse_file_info* fi) {
    (void)path;
    wait_round_trip();
    ssize_t count = pwrite((int)fi->fh, buf, size, offset);
    return count == -1 ? -errno : (int)count;
}

static int lfs_statfs(const char* path, struct statvfs* st) {
    (void)path;
    wait_round_trip();
    return result(fstatvfs(lower_fd, st));
}

static int lfs_release(const char* path, struct fuse_file_info* fi) {
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int lfs_fsync(const char* path, int datasync, struct fuse_file_info* fi) {
    (void)path;
    wait_round_trip();
    return result(datasync ? fdatasync((int)fi->fh) : fsync((int)fi->fh));
}

static const struct fuse_operations operations = {
    .init = lfs_init,
    .destroy = lfs_destroy,
    .getattr = lfs_getattr,
    .access = lfs_access,
    .readlink = lfs_readlink,
    .opendir = lfs_opendir,
    .readdir = lfs_readdir,
    .releasedir = lfs_releasedir,
    .mknod = lfs_mknod,
    .mkdir = lfs_mkdir,
    .unlink = lfs_unlink,
    .rmdir = lfs_rmdir,
    .symlink = lfs_symlink,
    .rename = lfs_rename,
    .link = lfs_link,
    .chmod = lfs_chmod,
    .chown = lfs_chown,
    .truncate = lfs_truncate,
    .utimens = lfs_utimens,
    .create = lfs_create,
    .open = lfs_open,
    .read = lfs_read,
    .write = lfs_write,
    .statfs = lfs_statfs,
    .release = lfs_release,
    .fsync = lfs_fsync,
};

/* The first argument that is not an option is the folder below; the rest go to FUSE. */
static int take_lower(void* data, const char* arg, int key, struct fuse_args* args) {
    (void)data;
    (void)args;
    if (key == FUSE_OPT_KEY_NONOPT && options.lower == NULL) {
        options.lower = arg;
        return 0;
    }
    return 1;
}

int main(int argc, char* argv[]) {
    struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &options, option_spec, take_lower) == -1) {
        return 2;
    }
    if (options.lower == NULL) {
        fprintf(stderr, "usage: latencyfs LOWER MOUNTPOINT [-o delay_us=N] [FUSE options]\n");
        return 2;
    }
    lower_fd = open(options.lower, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lower_fd == -1) {
        fprintf(stderr, "latencyfs: cannot open '%s': %s\n", options.lower, strerror(errno));
        return 1;
    }
    umask(0);
    int status = fuse_main(args.argc, args.argv, &operations, NULL);
    fuse_opt_free_args(&args);
    return status;
}

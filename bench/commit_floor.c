/* What reading a folder's workbooks costs with the three calls that commit
 * workbooks exactly once in glean: the journal record written in place, the
 * lines appended, and a look at the data file by its path. It reads as the
 * xls read floor does (open, fstat, read, close) and times the same loop
 * without the calls, with them for each workbook (as when each is moved),
 * and with them once for each GROUP workbooks (as glean commits when none is
 * moved), in turns, best of five each: the ratios are the most of the read
 * floor that a harvester committing so can reach, whatever its reading costs.
 * With MOVE_DIR, a fourth loop does what a run that moves each workbook must:
 * the file read, its path looked at again (the file read is the one to move),
 * the three calls, and the file renamed into an output folder. It works on
 * MOVE_DIR/a/NAME for each workbook NAME of DIR (hard links, made by the
 * caller), moving them to MOVE_DIR/b and back on alternate rounds.
 *
 * commit_floor DIR EXT LINE_BYTES RECORD_BYTES SCRATCH_DIR GROUP [MOVE_DIR] */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int cmp(const void* a, const void* b)
{
    return strcmp(*(char* const*)a, *(char* const*)b);
}

int main(int argc, char** argv)
{
    if (argc != 7 && argc != 8) {
        fprintf(stderr, "usage: commit_floor DIR EXT LINE_BYTES RECORD_BYTES SCRATCH_DIR GROUP [MOVE_DIR]\n");
        return 2;
    }
    const char *dir = argv[1], *ext = argv[2];
    const size_t lineBytes = strtoul(argv[3], 0, 10), recordBytes = strtoul(argv[4], 0, 10);
    const size_t group = strtoul(argv[6], 0, 10);
    if (group < 1) {
        fprintf(stderr, "GROUP must be at least 1\n");
        return 2;
    }
    char data[4096], journal[4200];
    snprintf(data, sizeof data, "%s/commit-floor.csv", argv[5]);
    snprintf(journal, sizeof journal, "%s.journal", data);

    DIR* d = opendir(dir);
    if (!d) {
        perror(dir);
        return 1;
    }
    size_t n = 0, cap = 1024;
    char** paths = malloc(cap * sizeof *paths);
    char** names = malloc(cap * sizeof *names);
    for (struct dirent* e; (e = readdir(d));) {
        const size_t len = strlen(e->d_name), el = strlen(ext);
        if (len <= el + 1 || e->d_name[len - el - 1] != '.' || strcmp(e->d_name + len - el, ext) != 0)
            continue;
        if (n == cap) {
            paths = realloc(paths, (cap *= 2) * sizeof *paths);
            names = realloc(names, cap * sizeof *names);
        }
        if (asprintf(&paths[n++], "%s/%s", dir, e->d_name) < 0)
            return 1;
    }
    closedir(d);
    qsort(paths, n, sizeof *paths, cmp);
    for (size_t i = 0; i < n; ++i)
        names[i] = paths[i] + strlen(dir) + 1;
    const char* moveDir = argc == 8 ? argv[7] : NULL;
    char from[4096], to[4096];

    char* lines = malloc(lineBytes * group);
    char* record = malloc(recordBytes);
    memset(lines, 'x', lineBytes * group);
    memset(record, 'j', recordBytes);
    size_t bufSize = 1 << 20;
    char* buf = malloc(bufSize);
    double best[4] = {0, 0, 0, 0};
    const int modes = moveDir ? 4 : 3;
    unsigned long sum = 0;
    for (int round = 0; round < 5 * modes; ++round) {
        const int commit = round % modes; /* none, each workbook, each group, each workbook moved */
        const size_t every = commit == 2 ? group : 1;
        const int back = round / modes % 2; /* moved from a to b, then back */
        unlink(data);
        const int out = open(data, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int jr = open(journal, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (out < 0 || jr < 0) {
            perror(data);
            return 1;
        }
        struct timespec a, b;
        clock_gettime(CLOCK_MONOTONIC, &a);
        for (size_t i = 0; i < n; ++i) {
            const char* path = paths[i];
            if (commit == 3) {
                snprintf(from, sizeof from, "%s/%s/%s", moveDir, back ? "b" : "a", names[i]);
                snprintf(to, sizeof to, "%s/%s/%s", moveDir, back ? "a" : "b", names[i]);
                path = from;
            }
            const int fd = open(path, O_RDONLY | O_CLOEXEC);
            struct stat st;
            if (fd < 0 || fstat(fd, &st) != 0)
                return perror(path), 1;
            if ((size_t)st.st_size > bufSize)
                buf = realloc(buf, bufSize = (size_t)st.st_size);
            for (size_t got = 0; got < (size_t)st.st_size;) {
                const ssize_t r = read(fd, buf + got, (size_t)st.st_size - got);
                if (r <= 0)
                    break;
                got += (size_t)r;
            }
            sum += (unsigned char)buf[st.st_size / 2];
            close(fd);
            const size_t books = (i + 1) % every == 0 ? every : i + 1 == n ? n % every : 0;
            if (commit == 3 && stat(path, &st) != 0)
                return perror(path), 1;
            if (commit && books &&
                (pwrite(jr, record, recordBytes, 0) != (ssize_t)recordBytes ||
                 write(out, lines, lineBytes * books) != (ssize_t)(lineBytes * books) || stat(data, &st) != 0))
                return perror(data), 1;
            if (commit == 3 && rename(from, to) != 0)
                return perror(from), 1;
        }
        clock_gettime(CLOCK_MONOTONIC, &b);
        const double rate = n / ((b.tv_sec - a.tv_sec) + (b.tv_nsec - a.tv_nsec) / 1e9);
        if (rate > best[commit])
            best[commit] = rate;
        close(out);
        close(jr);
    }
    unlink(data);
    unlink(journal);
    printf("read: %.0f workbooks/s, with the commit calls for each: %.0f, for each %zu: %.0f (%zu files, checksum %lu)",
           best[0], best[1], group, best[2], n, sum);
    if (moveDir)
        printf(", each moved: %.0f", best[3]);
    printf("\n");
    return 0;
}

/* inflate_crc.c -- the native CPU limit of an install: zlib inflate and
 * crc32 of every file entry of a package, nothing written. Reads the manifest
 * bench/run writes (OFFSET PACKED SIZE CRC32 FATTIME PATH per line) and the
 * package; must not write anything.
 * usage: inflate_crc MANIFEST PACKAGE
 * prints: inflate: SECONDS FILES BYTES; exit code 1 on a CRC or size mismatch. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <zlib.h>

#define IN_CHUNK  16384
#define OUT_CHUNK 16384
#define LINE_SIZE 1024

static unsigned char in_buf[IN_CHUNK];
static unsigned char out_buf[OUT_CHUNK];

/* Inflates packed bytes at offset of pkg; 1 when size and crc match. */
static int check_entry(FILE *pkg, long long offset, unsigned long packed,
                       unsigned long size, unsigned long crc)
{
    z_stream z = {0};
    unsigned long left = packed, produced = 0;
    uLong c = crc32(0, Z_NULL, 0);
    int status = Z_OK;
    if (fseeko(pkg, offset, SEEK_SET) != 0 || inflateInit2(&z, -15) != Z_OK)
        return 0;
    while (status != Z_STREAM_END) {
        if (z.avail_in == 0 && left) {
            size_t want = left < IN_CHUNK ? left : IN_CHUNK;
            if (fread(in_buf, 1, want, pkg) != want)
                break;
            z.next_in = in_buf;
            z.avail_in = (uInt)want;
            left -= want;
        }
        z.next_out = out_buf;
        z.avail_out = OUT_CHUNK;
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        c = crc32(c, out_buf, OUT_CHUNK - z.avail_out);
        produced += OUT_CHUNK - z.avail_out;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && produced == size && c == crc;
}

int main(int argc, char **argv)
{
    char line[LINE_SIZE];
    struct timespec t0, t1;
    unsigned long long bytes = 0;
    unsigned long files = 0;
    int ok = 1;
    FILE *list, *pkg;
    if (argc != 3) {
        fprintf(stderr, "usage: inflate_crc MANIFEST PACKAGE\n");
        return 2;
    }
    list = fopen(argv[1], "r");
    pkg = fopen(argv[2], "rb");
    if (!list || !pkg) {
        fprintf(stderr, "inflate_crc: cannot open the manifest or the package\n");
        return 2;
    }
    clock_gettime(CLOCK_MONOTONIC, &t0);
    while (ok && fgets(line, sizeof line, list)) {
        long long offset;
        unsigned long packed, size, crc, fat;
        if (sscanf(line, "%lld %lu %lu %lx %lx", &offset, &packed, &size, &crc, &fat) != 5)
            continue;
        ok = check_entry(pkg, offset, packed, size, crc);
        files++;
        bytes += size;
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    printf("inflate: %.6f %lu %llu\n",
           (t1.tv_sec - t0.tv_sec) + (t1.tv_nsec - t0.tv_nsec) / 1e9, files, bytes);
    return ok ? 0 : 1;
}

/* Peer for the mail parser benchmark: parses one message file with GMime and writes every
 * attachment's decoded data into a folder under its file name.
 * Build: gcc -O2 mime_gmime.c $(pkg-config --cflags --libs gmime-3.0) */
#include <fcntl.h>
#include <gmime/gmime.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char* out_dir;
static int written;

static void save_part(GMimeObject* parent, GMimeObject* part, gpointer data) {
    (void)parent;
    (void)data;
    if (!GMIME_IS_PART(part)) return;
    const char* name = g_mime_part_get_filename(GMIME_PART(part));
    if (!name || strchr(name, '/')) return;
    char path[4096];
    snprintf(path, sizeof path, "%s/%s", out_dir, name);
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    GMimeStream* out = g_mime_stream_fs_new(fd);
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), out);
    g_mime_stream_flush(out);
    g_object_unref(out);
    written++;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: mime_gmime FILE DIR\n");
        return 2;
    }
    out_dir = argv[2];
    g_mime_init();
    int fd = open(argv[1], O_RDONLY);
    if (fd < 0) return 1;
    GMimeStream* in = g_mime_stream_fs_new(fd);
    GMimeParser* parser = g_mime_parser_new_with_stream(in);
    GMimeMessage* msg = g_mime_parser_construct_message(parser, NULL);
    if (!msg) return 1;
    g_mime_message_foreach(msg, save_part, NULL);
    printf("gmime: %d attachment(s)\n", written);
    g_object_unref(msg);
    g_object_unref(parser);
    g_object_unref(in);
    return 0;
}

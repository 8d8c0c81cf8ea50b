/* A stand-in for the client library, loaded by file name in tests.
 *
 * Every entry point forwards to the real libmariadb.so.3 unless the test
 * told it to fail (fake_fail_calls("mysql_init,mysql_list_tables")): a
 * failing call returns its failure value (null or non-zero) and the error
 * text "Fake failure of <name>". It also counts the result handles it handed
 * out and the ones freed. Variants are made by leaving out one name. */
#include <mysql.h>

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

static void *real_library;
static char failing[1024];
static char error_text[256];
static int results_out;
static int results_freed;
static int fail_fetch_after = -1;

static void *real(const char *name) {
  if (!real_library)
    real_library = dlopen("libmariadb.so.3", RTLD_NOW | RTLD_LOCAL);
  return real_library ? dlsym(real_library, name) : NULL;
}

static int should_fail(const char *name) {
  size_t n = strlen(name);
  const char *p = failing;
  while ((p = strstr(p, name)) != NULL) {
    if ((p == failing || p[-1] == ',') && (p[n] == ',' || p[n] == '\0')) {
      snprintf(error_text, sizeof error_text, "Fake failure of %s", name);
      return 1;
    }
    p += n;
  }
  return 0;
}

/* Control entry points for the tests. */
void fake_fail_calls(const char *names) {
  snprintf(failing, sizeof failing, "%s", names ? names : "");
  error_text[0] = '\0';
}
int fake_results_out(void) { return results_out; }
int fake_results_freed(void) { return results_freed; }
void fake_reset_counts(void) { results_out = results_freed = 0; }

#define FORWARD(ret, name, params, args)                                                           \
  ret STDCALL name params {                                                                        \
    ret(*f) params = (ret(*) params)real(#name);                                                   \
    return f args;                                                                                 \
  }
#define FORWARD_VOID(name, params, args)                                                           \
  void STDCALL name params {                                                                       \
    void(*f) params = (void(*) params)real(#name);                                                 \
    f args;                                                                                        \
  }
#define FAILABLE(ret, name, params, args, failure)                                                 \
  ret STDCALL name params {                                                                        \
    if (should_fail(#name))                                                                        \
      return failure;                                                                              \
    ret(*f) params = (ret(*) params)real(#name);                                                   \
    return f args;                                                                                 \
  }
#define RESULT_SOURCE(name, params, args)                                                          \
  MYSQL_RES *STDCALL name params {                                                                 \
    if (should_fail(#name))                                                                        \
      return NULL;                                                                                 \
    MYSQL_RES *(*f)params = (MYSQL_RES * (*)params) real(#name);                                   \
    MYSQL_RES *r = f args;                                                                         \
    if (r)                                                                                         \
      ++results_out;                                                                               \
    return r;                                                                                      \
  }

FORWARD(my_ulonglong, mysql_num_rows, (MYSQL_RES * r), (r))
FORWARD(unsigned int, mysql_num_fields, (MYSQL_RES * r), (r))
FORWARD(my_bool, mysql_eof, (MYSQL_RES * r), (r))
FORWARD(MYSQL_FIELD *, mysql_fetch_field_direct, (MYSQL_RES * r, unsigned int i), (r, i))
FORWARD(MYSQL_FIELD *, mysql_fetch_fields, (MYSQL_RES * r), (r))
FORWARD(MYSQL_ROWS *, mysql_row_tell, (MYSQL_RES * r), (r))
FORWARD(unsigned int, mysql_field_tell, (MYSQL_RES * r), (r))
FORWARD(unsigned int, mysql_field_count, (MYSQL * m), (m))
FORWARD(my_ulonglong, mysql_affected_rows, (MYSQL * m), (m))
FORWARD(my_ulonglong, mysql_insert_id, (MYSQL * m), (m))
FORWARD(unsigned int, mysql_errno, (MYSQL * m), (m))

const char *STDCALL mysql_error(MYSQL *m) {
  if (error_text[0])
    return error_text;
  const char *(*f)(MYSQL *) = (const char *(*)(MYSQL *))real("mysql_error");
  return m ? f(m) : "";
}

FORWARD(const char *, mysql_info, (MYSQL * m), (m))
FORWARD(unsigned long, mysql_thread_id, (MYSQL * m), (m))
FORWARD(const char *, mysql_character_set_name, (MYSQL * m), (m))
FAILABLE(MYSQL *, mysql_init, (MYSQL * m), (m), NULL)

MYSQL *STDCALL mysql_connect(MYSQL *m, const char *h, const char *u, const char *p) {
  (void)h;
  (void)u;
  (void)p;
  return m;
}

FORWARD(my_bool, mysql_change_user, (MYSQL * m, const char *u, const char *p, const char *d),
        (m, u, p, d))
FAILABLE(MYSQL *, mysql_real_connect,
         (MYSQL * m, const char *h, const char *u, const char *p, const char *d, unsigned int port,
          const char *s, unsigned long fl),
         (m, h, u, p, d, port, s, fl), NULL)
FORWARD_VOID(mysql_close, (MYSQL * m), (m))
#ifndef QW_FAKE_OMIT_SELECT_DB
FAILABLE(int, mysql_select_db, (MYSQL * m, const char *d), (m, d), 1)
#endif
/* fake_fail_statements("SHOW TABLES,USE"): each statement of a query that
 * begins with one of the given words goes to the server as a SIGNAL, which
 * the server refuses with "Fake failure of <words>"; the statements before it
 * run, those after it do not, as when the server refuses one itself. The
 * statements of a request are separated by a line break and a semicolon. */
static char failing_statements[1024];
static char rewritten[1 << 16];
void fake_fail_statements(const char *words) {
  snprintf(failing_statements, sizeof failing_statements, "%s", words ? words : "");
}

/* The query with its failing statements replaced; `q` itself when none fails. */
static const char *rewrite(const char *q, unsigned long *length) {
  if (!failing_statements[0])
    return q;
  size_t out = 0;
  const char *statement = q, *end = q + *length;
  int changed = 0;
  while (statement < end) {
    const char *next = statement;
    while (next + 1 < end && !(next[0] == '\n' && next[1] == ';'))
      ++next;
    if (next + 1 >= end)
      next = end;
    size_t n = (size_t)(next - statement);
    const char *word = failing_statements;
    char replacement[256] = "";
    while (*word) {
      const char *comma = strchr(word, ',');
      size_t w = comma ? (size_t)(comma - word) : strlen(word);
      if (w > 0 && n >= w && strncmp(statement, word, w) == 0) {
        snprintf(replacement, sizeof replacement,
                 "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'Fake failure of %.*s'", (int)w, word);
        break;
      }
      word += w + (comma ? 1 : 0);
    }
    const char *piece = replacement[0] ? replacement : statement;
    size_t p = replacement[0] ? strlen(replacement) : n;
    changed |= replacement[0] != 0;
    if (out + p + 2 >= sizeof rewritten)
      return q;
    memcpy(rewritten + out, piece, p);
    out += p;
    if (next < end) {
      memcpy(rewritten + out, "\n;", 2);
      out += 2;
      next += 2;
    }
    statement = next;
  }
  if (!changed)
    return q;
  rewritten[out] = '\0';
  *length = (unsigned long)out;
  return rewritten;
}

int STDCALL mysql_query(MYSQL *m, const char *q) {
  if (should_fail("mysql_query"))
    return 1;
  unsigned long length = (unsigned long)strlen(q);
  const char *text = rewrite(q, &length);
  int (*f)(MYSQL *, const char *, unsigned long) =
      (int (*)(MYSQL *, const char *, unsigned long))real("mysql_real_query");
  return f(m, text, length);
}
FORWARD(int, mysql_send_query, (MYSQL * m, const char *q, unsigned long l), (m, q, l))
FORWARD(my_bool, mysql_read_query_result, (MYSQL * m), (m))
int STDCALL mysql_real_query(MYSQL *m, const char *q, unsigned long l) {
  if (should_fail("mysql_real_query"))
    return 1;
  const char *text = rewrite(q, &l);
  int (*f)(MYSQL *, const char *, unsigned long) =
      (int (*)(MYSQL *, const char *, unsigned long))real("mysql_real_query");
  return f(m, text, l);
}

/* The old create and drop calls, as a library of that generation has them. */
static int run_statement(MYSQL *m, const char *verb, const char *db) {
  char query[1024];
  size_t o = (size_t)snprintf(query, sizeof query, "%s DATABASE `", verb);
  for (; *db && o + 4 < sizeof query; ++db) {
    if (*db == '`')
      query[o++] = '`';
    query[o++] = *db;
  }
  query[o++] = '`';
  query[o] = '\0';
  int (*f)(MYSQL *, const char *) = (int (*)(MYSQL *, const char *))real("mysql_query");
  return f(m, query);
}
int STDCALL mysql_create_db(MYSQL *m, const char *db) {
  if (should_fail("mysql_create_db"))
    return 1;
  return run_statement(m, "CREATE", db);
}
int STDCALL mysql_drop_db(MYSQL *m, const char *db) {
  if (should_fail("mysql_drop_db"))
    return 1;
  return run_statement(m, "DROP", db);
}

FORWARD(int, mysql_shutdown, (MYSQL * m, enum mysql_enum_shutdown_level l), (m, l))
FORWARD(int, mysql_dump_debug_info, (MYSQL * m), (m))
FORWARD(int, mysql_refresh, (MYSQL * m, unsigned int o), (m, o))
FORWARD(int, mysql_kill, (MYSQL * m, unsigned long p), (m, p))
FORWARD(int, mysql_ping, (MYSQL * m), (m))
FORWARD(char *, mysql_stat, (MYSQL * m), (m))
FORWARD(char *, mysql_get_server_info, (MYSQL * m), (m))
FORWARD(const char *, mysql_get_client_info, (void), ())
FORWARD(char *, mysql_get_host_info, (MYSQL * m), (m))
FORWARD(unsigned int, mysql_get_proto_info, (MYSQL * m), (m))
RESULT_SOURCE(mysql_list_dbs, (MYSQL * m, const char *w), (m, w))
RESULT_SOURCE(mysql_list_tables, (MYSQL * m, const char *w), (m, w))
RESULT_SOURCE(mysql_list_fields, (MYSQL * m, const char *t, const char *w), (m, t, w))
RESULT_SOURCE(mysql_list_processes, (MYSQL * m), (m))
RESULT_SOURCE(mysql_store_result, (MYSQL * m), (m))
RESULT_SOURCE(mysql_use_result, (MYSQL * m), (m))
FAILABLE(int, mysql_options, (MYSQL * m, enum mysql_option o, const void *a), (m, o, a), 1)

void STDCALL mysql_free_result(MYSQL_RES *r) {
  if (r)
    ++results_freed;
  void (*f)(MYSQL_RES *) = (void (*)(MYSQL_RES *))real("mysql_free_result");
  f(r);
}

FORWARD_VOID(mysql_data_seek, (MYSQL_RES * r, unsigned long long o), (r, o))
FORWARD(MYSQL_ROW_OFFSET, mysql_row_seek, (MYSQL_RES * r, MYSQL_ROW_OFFSET o), (r, o))
FORWARD(MYSQL_FIELD_OFFSET, mysql_field_seek, (MYSQL_RES * r, MYSQL_FIELD_OFFSET o), (r, o))

/* fake_fail_fetch_after(n): mysql_fetch_row returns null after n rows. */
void fake_fail_fetch_after(int n) { fail_fetch_after = n; }
MYSQL_ROW STDCALL mysql_fetch_row(MYSQL_RES *r) {
  if (fail_fetch_after == 0)
    return NULL;
  if (fail_fetch_after > 0)
    --fail_fetch_after;
  MYSQL_ROW (*f)(MYSQL_RES *) = (MYSQL_ROW(*)(MYSQL_RES *))real("mysql_fetch_row");
  return f(r);
}

FORWARD(unsigned long *, mysql_fetch_lengths, (MYSQL_RES * r), (r))
FORWARD(MYSQL_FIELD *, mysql_fetch_field, (MYSQL_RES * r), (r))
FORWARD(unsigned long, mysql_escape_string, (char *t, const char *from, unsigned long l),
        (t, from, l))
/* The caller's buffer must take 2l+1 bytes, however few the result needs:
 * touching all of them lets AddressSanitizer see a buffer that is too small,
 * which it cannot inside the real library. */
unsigned long STDCALL mysql_real_escape_string(MYSQL *m, char *t, const char *from,
                                               unsigned long l) {
  memset(t, 0, 2 * l + 1);
  unsigned long (*f)(MYSQL *, char *, const char *, unsigned long) = (unsigned long (*)(
      MYSQL *, char *, const char *, unsigned long))real("mysql_real_escape_string");
  return f(m, t, from, l);
}
FORWARD_VOID(mysql_debug, (const char *d), (d))

char *mysql_odbc_escape_string(MYSQL *m, char *to, unsigned long to_length, const char *from,
                               unsigned long from_length, void *param,
                               char *(*extend_buffer)(void *, char *, unsigned long *)) {
  (void)m;
  (void)to_length;
  (void)from;
  (void)from_length;
  (void)param;
  (void)extend_buffer;
  return to;
}
void myodbc_remove_escape(MYSQL *m, char *name) {
  (void)m;
  (void)name;
}

#ifndef QW_FAKE_OMIT_THREAD_SAFE
FORWARD(unsigned int, mysql_thread_safe, (void), ())
#endif

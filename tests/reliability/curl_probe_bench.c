/* The platform's anchor for the probe benchmark: the same loopback address fetched natively with
 * libcurl, a fresh handle per probe (as the worker opens fresh WinINet handles), status code
 * read, body discarded. curl_probe_bench <url> <n>: prints the median in ms. */
#include <curl/curl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static size_t Discard(char *data, size_t size, size_t count, void *user) {
  (void)data;
  (void)user;
  return size * count;
}

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static int Compare(const void *a, const void *b) {
  const double x = *(const double *)a, y = *(const double *)b;
  return (x > y) - (x < y);
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: curl_probe_bench <url> <n>\n");
    return 2;
  }
  const int n = atoi(argv[2]) > 0 ? atoi(argv[2]) : 50;
  double *times = calloc((size_t)n, sizeof *times);
  if (!times || curl_global_init(CURL_GLOBAL_DEFAULT) != 0) return 1;
  int failures = 0;
  for (int i = -3; i < n; ++i) {
    const double start = NowMs();
    CURL *curl = curl_easy_init();
    long status = 0;
    if (curl) {
      curl_easy_setopt(curl, CURLOPT_URL, argv[1]);
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
      curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
      if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
      curl_easy_cleanup(curl);
    }
    const double ms = NowMs() - start;
    if (status != 200) ++failures;
    if (i >= 0) times[i] = ms;
  }
  qsort(times, (size_t)n, sizeof *times, Compare);
  const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  printf("curl_median_ms %.4f\nfailures %d\n", median, failures);
  free(times);
  curl_global_cleanup();
  return failures == 0 ? 0 : 1;
}

// How long one call may wait for a server that has stopped answering.
#pragma once

// Seconds that one read from or one write to the server may wait once the
// connection is open; the connect itself is bounded by the connect time-out
// of the connection dialog. The client library gives up after this time
// (it does not retry), closes the connection and reports error 2013 ("Lost
// connection to server during query"); every later call fails at once until
// the user connects again.
//
// Ten minutes: long enough for a schema change that copies a large table (a
// few gigabytes on ordinary hardware), short enough that a server that stops
// answering does not freeze the window for ever. A statement that runs longer
// is reported as a lost connection while the server may still complete it.
inline constexpr unsigned int ServerIoTimeoutSeconds = 600;

// The read and write time-out that the next connect passes to the client
// library: ServerIoTimeoutSeconds unless a test has shortened it.
unsigned int ServerIoTimeout();
// For tests: the time-out for the following connects; 0 restores the default.
void SetServerIoTimeoutForTests(unsigned int seconds);

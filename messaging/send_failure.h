#pragma once
// What a failed send means, in words a user can act on. The command line prints it beside the
// socket layer's error; the send window's error box shows it below that error.
#include "net/socket_types.h"

#include <QString>

// `kind` and `code` as the socket layer reports them to an error handler (eeLookup: the name
// could not be resolved; code 0: the lookup could not even start); `port` is the one the send
// went to.
QString sendFailureText(TErrorEvent kind, int code, int port);

// The error box's text: the socket layer's report, as the application's box shows it, and below
// it the explanation as a sentence of its own.
QString explainedErrorText(const QString& report, const QString& explanation);

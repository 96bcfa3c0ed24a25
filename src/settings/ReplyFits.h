#pragma once

#include <QByteArray>

// Whether a reply can be the answer to this settings query: one line ending in CR LF, never
// an acknowledgement ("ALL RIGHT", or what is left of it when its start was discarded) or an
// instrument error line; a number where a number is due; exactly the fields the query has.
// Words are not checked against the setting's list: an unknown word leaves the setting
// alone. A line that answers another command (a late reply) mostly fails one of these, and
// taking it for this query's answer would shift every setting after it.
bool ReplyFits(const QByteArray& query, const QByteArray& reply);

-- Writes sent with an Idempotency-Key: the key, what the request was (a
-- SHA-256 of its method, target and body) and the reply it got, kept so that
-- a resend of the same request gets that reply instead of a second write.
-- created_at is in seconds since 1970; old keys are deleted as new ones come.

CREATE TABLE idempotency_keys (
  key         TEXT    PRIMARY KEY,
  fingerprint TEXT    NOT NULL,
  status      INTEGER NOT NULL,
  reply       TEXT    NOT NULL,
  created_at  INTEGER NOT NULL
);
CREATE INDEX idempotency_keys_by_age ON idempotency_keys(created_at);

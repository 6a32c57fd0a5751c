"""Stand-in web-mail service: accounts and mailboxes, the web-mail calls, faults, the
request log, the listeners and the control interface."""

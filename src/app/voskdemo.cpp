// The front end: start-up order, tick and shutdown. Not built yet.

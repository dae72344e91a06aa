// The page's unpacking worker: each picture it is asked for, made back into the game's file
// (pictures.js), sent back as it is done, or the reason it could not be.
'use strict';
importScripts('pictures.js');

onmessage = function(event) {
  var id = event.data.id;
  ZorvalenPictures.unpack(event.data.entry, event.data.base).then(function(bytes) {
    postMessage({id: id, bytes: bytes}, [bytes.buffer]);
  }, function(error) {
    postMessage({id: id, error: error && error.message || String(error)});
  });
};

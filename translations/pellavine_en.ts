<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>BatchSender</name>
    <message>
        <source>компьютер с таким именем не найден</source>
        <translation>no computer has this name</translation>
    </message>
    <message>
        <source>имя не найдено: служба имен не ответила</source>
        <translation>name not found: the name service did not answer</translation>
    </message>
    <message>
        <source>имя компьютера не удалось определить</source>
        <translation>the computer name could not be found</translation>
    </message>
    <message>
        <source>в соединении отказано: на порту %1 сообщения не принимают (Pellavine не запущен или его сервер приостановлен)</source>
        <translation>connection refused: nothing takes messages on port %1 (Pellavine is not running or its server is paused)</translation>
    </message>
    <message>
        <source>компьютер не ответил</source>
        <translation>the computer did not answer</translation>
    </message>
    <message>
        <source>компьютер недоступен по сети</source>
        <translation>the computer cannot be reached over the network</translation>
    </message>
    <message>
        <source>соединение разорвано</source>
        <translation>the connection was broken</translation>
    </message>
    <message>
        <source>соединение не установлено</source>
        <translation>no connection was made</translation>
    </message>
    <message>
        <source>соединение закрыто получателем</source>
        <translation>the recipient closed the connection</translation>
    </message>
    <message>
        <source>текст не передан: %1</source>
        <translation>the text was not sent: %1</translation>
    </message>
    <message>
        <source>имя компьютера не найдено за %1 с</source>
        <translation>the computer name was not found within %1 s</translation>
    </message>
    <message>
        <source>компьютер не ответил за %1 с</source>
        <translation>the computer did not answer within %1 s</translation>
    </message>
    <message>
        <source>текст не принят за %1 с</source>
        <translation>the text was not taken within %1 s</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Введите текст сообщения и нажмите Ctrl+D:</source>
        <translation>Type the message and press Ctrl+D:</translation>
    </message>
    <message>
        <source>текст длиннее %1 знаков; сообщение не отправлено</source>
        <translation>the text is longer than %1 characters; the message was not sent</translation>
    </message>
    <message>
        <source>%1: доставлено</source>
        <translation>%1: delivered</translation>
    </message>
    <message>
        <source>%1: не доставлено: %2 — %3</source>
        <translation>%1: not delivered: %2 — %3</translation>
    </message>
    <message>
        <source>неизвестный параметр «%1»</source>
        <translation>unknown option &quot;%1&quot;</translation>
    </message>
    <message>
        <source>параметр «%1» не принимает значения</source>
        <translation>option &quot;%1&quot; takes no value</translation>
    </message>
    <message>
        <source>параметру «%1» нужно значение</source>
        <translation>option &quot;%1&quot; needs a value</translation>
    </message>
    <message>
        <source>неверное время ожидания «%1»: нужно число секунд больше 0 и не больше %2</source>
        <translation>invalid timeout &quot;%1&quot;: a number of seconds above 0 and at most %2 is needed</translation>
    </message>
    <message>
        <source>не указан получатель</source>
        <translation>no recipient given</translation>
    </message>
    <message>
        <source>не указан получатель: нужен параметр --send</source>
        <translation>no recipient given: --send is needed</translation>
    </message>
    <message>
        <source>Использование: pellavine --send КОМУ [--port ПОРТ] [--timeout СЕКУНДЫ] [--] [ТЕКСТ...]
Подробнее: pellavine --help
</source>
        <translation>Usage: pellavine --send TO [--port PORT] [--timeout SECONDS] [--] [TEXT...]
More: pellavine --help
</translation>
    </message>
    <message>
        <source>%1; укажите порт параметром --port</source>
        <translation>%1; give the port with --port</translation>
    </message>
    <message>
        <source>неверный порт «%1»: нужно число от %2 до %3</source>
        <translation>invalid port &quot;%1&quot;: a number from %2 to %3 is needed</translation>
    </message>
    <message>
        <source>Использование:
  pellavine
  pellavine --send КОМУ [--port ПОРТ] [--timeout СЕКУНДЫ] [--] [ТЕКСТ...]
  pellavine --help | --version

Без параметров запускает Pellavine в области уведомлений.

С параметром --send отправляет ТЕКСТ (слова через пробел), а если ТЕКСТ не указан,
то стандартный ввод, на каждый компьютер КОМУ и завершается. Окно, значок и дисплей
не нужны (работает по ssh и из cron), уже запущенной копии программы не мешает.

Параметры:
  --send КОМУ        имя компьютера или IP-адрес получателя; несколько получателей
                     можно указать через запятую или повторив --send
  --port ПОРТ        порт получателей; по умолчанию порт из файла настроек
                     (~/.config/Pellavine/Pellavine.ini), иначе %4
  --timeout СЕКУНДЫ  сколько ждать поиска имени, соединения и передачи для каждого
                     получателя (по умолчанию %1)
  --help             показать эту справку и выйти
  --version          показать версию и выйти
  --                 дальше только текст, даже если он начинается с «-»
Значение можно писать и через знак равенства: --port=2430.

Текст отправляется в кодировке Windows-1251, как из окна отправки: знаки, которых в ней
нет, заменяются на «?»; в тексте не больше %2 знаков. Переводы строки в конце
стандартного ввода отбрасываются. Одновременно отправляется не больше %3 сообщений.
Если получателей несколько, для каждого выводится строка о том, что с ним стало.

Код завершения:
  0  сообщение доставлено всем получателям
  1  хотя бы одному получателю не доставлено (причина в строке на стандартном
     выводе ошибок)
  2  ошибка в параметрах или нечего отправить; ничего не отправлено

Пример:
  printf &apos;Файловый сервер перезагрузится через 10 минут&apos; | pellavine --send buh-01,192.168.1.15
</source>
        <translation>Usage:
  pellavine
  pellavine --send TO [--port PORT] [--timeout SECONDS] [--] [TEXT...]
  pellavine --help | --version

Without options, starts Pellavine in the notification area.

With --send, sends TEXT (the words joined by spaces) or, without TEXT, standard
input to each computer TO, and ends. No window, icon or display is needed (it
works over ssh and from cron), and a copy already running is not disturbed.

Options:
  --send TO          computer name or IP address of the recipient; list several
                     separated by commas, or repeat --send
  --port PORT        the recipients&apos; port; by default the port in the settings
                     file (~/.config/Pellavine/Pellavine.ini), else %4
  --timeout SECONDS  how long to wait for the name, the connection and the
                     transfer, for each recipient (default %1)
  --help             show this help and exit
  --version          show the version and exit
  --                 only text follows, even if it begins with &quot;-&quot;
A value may also follow an equals sign: --port=2430.

The text is sent in the Windows-1251 encoding, as from the send window:
characters it lacks become &quot;?&quot;; the text has at most %2 characters. Line ends
at the end of standard input are dropped. At most %3 messages are sent at once.
With several recipients, a line for each tells what became of it.

Exit status:
  0  the message was delivered to every recipient
  1  at least one recipient did not get it (the reason is on a line of
     standard error)
  2  wrong options or nothing to send; nothing was sent

Example:
  printf &apos;The file server restarts in 10 minutes&apos; | pellavine --send buh-01,192.168.1.15
</translation>
    </message>
</context>
<context>
    <name>DataFolder</name>
    <message>
        <source>её не удалось создать (%1)</source>
        <translation>it could not be created (%1)</translation>
    </message>
    <message>
        <source>её не удалось проверить (%1)</source>
        <translation>it could not be checked (%1)</translation>
    </message>
    <message>
        <source>на её месте символическая ссылка</source>
        <translation>a symbolic link is in its place</translation>
    </message>
    <message>
        <source>на её месте не папка</source>
        <translation>something other than a folder is in its place</translation>
    </message>
    <message>
        <source>её владелец — другой пользователь</source>
        <translation>another user owns it</translation>
    </message>
    <message>
        <source>она открыта другим пользователям</source>
        <translation>other users have access to it</translation>
    </message>
    <message>
        <source>Папка %1 не подходит для файлов Pellavine: %2. Настройки, черный список и история адресов в этот раз не будут ни прочитаны, ни сохранены. Задайте переменную окружения HOME или XDG_CONFIG_HOME и перезапустите Pellavine.</source>
        <translation>The folder %1 cannot hold Pellavine&apos;s files: %2. This time the settings, the black list and the address history will be neither read nor saved. Set the HOME or XDG_CONFIG_HOME environment variable and restart Pellavine.</translation>
    </message>
</context>
<context>
    <name>DesktopNotifications</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>InstanceLock</name>
    <message>
        <source>символическая ссылка</source>
        <translation>a symbolic link</translation>
    </message>
    <message>
        <source>папка</source>
        <translation>a folder</translation>
    </message>
    <message>
        <source>не удалось создать файл блокировки %1: на его месте %2. Удалите то, что находится на месте этого файла.</source>
        <translation>the lock file %1 could not be made: %2 is in its place. Remove what is in the lock file&apos;s place.</translation>
    </message>
    <message>
        <source>не удалось создать файл блокировки %1 (%2). Проверьте, что в его папку можно писать.</source>
        <translation>the lock file %1 could not be made (%2). Check that its folder can be written to.</translation>
    </message>
    <message>
        <source>переменная XDG_RUNTIME_DIR не задана, а папка %1 не подходит для файла блокировки: %2. Задайте переменную окружения XDG_RUNTIME_DIR.</source>
        <translation>XDG_RUNTIME_DIR is not set, and the folder %1 cannot hold the lock file: %2. Set the XDG_RUNTIME_DIR environment variable.</translation>
    </message>
    <message>
        <source>не обычный файл</source>
        <translation>something other than a regular file</translation>
    </message>
    <message>
        <source>файл блокировки %1 не удалось заблокировать (%2).</source>
        <translation>the lock file %1 could not be locked (%2).</translation>
    </message>
</context>
<context>
    <name>Receiver</name>
    <message>
        <source>Получено сообщение от %1, однако этот компьютер занесен в черный список! Хотите просмотреть сообщение сейчас?</source>
        <translation>A message has arrived from %1, but this computer is on the black list! Do you want to see the message now?</translation>
    </message>
    <message>
        <source>Системное ограничение числа открытых файлов (%1) слишком мало: Pellavine сможет принимать не более %2 сообщений одновременно. Увеличьте ограничение (ulimit -n) и перезапустите Pellavine.</source>
        <translation>The system limit on open files (%1) is too low: Pellavine can receive no more than %2 messages at a time. Raise the limit (ulimit -n) and restart Pellavine.</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>В файле настроек %1 неверный порт %2: нужно число от %3 до %4</source>
        <translation>The settings file %1 has an invalid port %2: a number from %3 to %4 is needed</translation>
    </message>
</context>
<context>
    <name>TAboutBox</name>
    <message>
        <source>О программе</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Pellavine - программа для обмена мгновенными сообщения- 
ми в локальных сетях.</source>
        <translation>Pellavine - a program for instant messaging
in local networks.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>TBListF</name>
    <message>
        <source>Имя компьютера-отправителя неизвестно, поэтому его нельзя занести в черный список.</source>
        <translation>The sender&apos;s computer name is unknown, so it cannot be put on the black list.</translation>
    </message>
    <message>
        <source>Черный список не сохранен: файл %1 не удалось прочитать, поэтому он оставлен как есть. Сделайте файл доступным для чтения и перезапустите Pellavine.</source>
        <translation>The black list was not saved: the file %1 could not be read, so it was left as it is. Make the file readable and restart Pellavine.</translation>
    </message>
    <message>
        <source>Этот компьютер уже занесен в черный список!</source>
        <translation>This computer is already on the black list!</translation>
    </message>
    <message>
        <source>Черный список</source>
        <translation>Black list</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Компьютер %1 успешно занесен в черный список!</source>
        <translation>Computer %1 has been put on the black list!</translation>
    </message>
    <message>
        <source>Введите имя компьютера!</source>
        <translation>Enter a computer name!</translation>
    </message>
    <message>
        <source>Файл черного списка %1 больше %2 МБ: прочитано только его начало. Файл оставлен как есть, изменения черного списка в него не записываются.</source>
        <translation>The black list file %1 is larger than %2 MB: only its beginning was read. The file is left as it is; changes to the black list are not written to it.</translation>
    </message>
</context>
<context>
    <name>TConfigF</name>
    <message>
        <source>Некоторые настройки вступят в силу только после перезапуска программы!</source>
        <translation>Some settings take effect only after the program is restarted!</translation>
    </message>
    <message>
        <source>Настройки</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Звук</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>Использовать звуки</source>
        <translation>Play sounds</translation>
    </message>
    <message>
        <source>Окно сообщения</source>
        <translation>Message window</translation>
    </message>
    <message>
        <source>Автофокус каждые (мс):</source>
        <translation>Bring to front every (ms):</translation>
    </message>
    <message>
        <source>Связь</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>Порт:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>SPLASH-окно</source>
        <translation>Welcome window</translation>
    </message>
    <message>
        <source>Время показа SPLASH-окна (мс):</source>
        <translation>Display time (ms):</translation>
    </message>
    <message>
        <source>Прозрачность (только для систем Windows NT\2000\XP)</source>
        <translation>Transparency (Windows NT\2000\XP only)</translation>
    </message>
    <message>
        <source>По умолчанию</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>За текущий сеанс сообщений не поступало.</source>
        <translation>No messages have arrived during this session.</translation>
    </message>
    <message>
        <source>Приостановить сервер Pellavine</source>
        <translation>Pause Pellavine server</translation>
    </message>
    <message>
        <source>Запустить сервер Pellavine</source>
        <translation>Start Pellavine server</translation>
    </message>
    <message>
        <source>Pellavine работает и принимает сообщения. Щелкните по этому значку, чтобы отправить сообщение; правая кнопка мыши открывает меню.</source>
        <translation>Pellavine is running and receives messages. Click this icon to send a message; the right mouse button opens the menu.</translation>
    </message>
    <message>
        <source>Окно приветствия</source>
        <translation>Welcome</translation>
    </message>
    <message>
        <source>Посетить сайт</source>
        <translation>Visit the web site</translation>
    </message>
    <message>
        <source>Отправить сообщение...</source>
        <translation>Send message...</translation>
    </message>
    <message>
        <source>Последнее сообщение</source>
        <translation>Last message</translation>
    </message>
    <message>
        <source>Настройки...</source>
        <translation>Settings...</translation>
    </message>
    <message>
        <source>Черный список...</source>
        <translation>Black list...</translation>
    </message>
    <message>
        <source>О Pellavine...</source>
        <translation>About Pellavine...</translation>
    </message>
    <message>
        <source>Выключить сервер</source>
        <translation>Shut down server</translation>
    </message>
    <message>
        <source>Закройте текущее сообщение!</source>
        <translation>Close the message on the screen first!</translation>
    </message>
    <message>
        <source>При остановке сервера посылаемые вам сообщения приниматься не будут! Продолжить?</source>
        <translation>While the server is stopped, messages sent to you will not be received! Continue?</translation>
    </message>
    <message>
        <source>Непрочитанных сообщений: %1</source>
        <translation>Unread messages: %1</translation>
    </message>
    <message>
        <source>Последнее сообщение получено в %1 от %2 (%3)</source>
        <translation>Last message received at %1 from %2 (%3)</translation>
    </message>
</context>
<context>
    <name>TMsgF</name>
    <message>
        <source>Просмотр сообщения</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Ответить</source>
        <translation>Reply</translation>
    </message>
    <message>
        <source>В черный список</source>
        <translation>Add to black list</translation>
    </message>
    <message>
        <source>Сообщение от %1 (%2):</source>
        <translation>Message from %1 (%2):</translation>
    </message>
    <message>
        <source>Предыдущее непрочитанное сообщение</source>
        <translation>Previous unread message</translation>
    </message>
    <message>
        <source>◀ ещё %1</source>
        <translation>◀ %1 more</translation>
    </message>
    <message>
        <source>%1 (ещё %2)</source>
        <translation>%1 (%2 more)</translation>
    </message>
</context>
<context>
    <name>TOneProgram</name>
    <message>
        <source>Pellavine не может проверить, не запущен ли он уже: %1 Программа продолжит работу.</source>
        <translation>Pellavine cannot check whether it is already running: %1 The program goes on running.</translation>
    </message>
</context>
<context>
    <name>TSenderF</name>
    <message>
        <source>Для отправки сообщения, введите имя компьютера-получателя или его IP-адрес, а так же текст сообщения!</source>
        <translation>To send a message, enter the recipient&apos;s computer name or IP address and the text of the message!</translation>
    </message>
    <message>
        <source>История адресов не сохранена: файл %1 не удалось прочитать, поэтому он оставлен как есть. Сделайте файл доступным для чтения и перезапустите Pellavine.</source>
        <translation>The address history was not saved: the file %1 could not be read, so it was left as it is. Make the file readable and restart Pellavine.</translation>
    </message>
    <message>
        <source>Отправка сообщения</source>
        <translation>Send message</translation>
    </message>
    <message>
        <source> Кому:</source>
        <translation> To:</translation>
    </message>
    <message>
        <source>Текст:</source>
        <translation>Text:</translation>
    </message>
    <message>
        <source>Имя или IP-адрес компьютера получателя (правая кнопка для вывода меню)</source>
        <translation>Name or IP address of the recipient&apos;s computer (right button for the menu)</translation>
    </message>
    <message>
        <source>Сообщение для отправки</source>
        <translation>Message to send</translation>
    </message>
    <message>
        <source>Отправить</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Очистить список</source>
        <translation>Clear list</translation>
    </message>
    <message>
        <source>Файл истории адресов %1 больше %2 МБ: прочитано только его начало. Файл оставлен как есть, новые адреса в него не записываются.</source>
        <translation>The address history file %1 is larger than %2 MB: only its beginning was read. The file is left as it is; new addresses are not written to it.</translation>
    </message>
</context>
<context>
    <name>TSkinForm</name>
    <message>
        <source>Закрыть</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Справка</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>TrayHost</name>
    <message>
        <source>На этом рабочем столе нет области уведомлений (системного трея), поэтому значок программы показан в маленьком окне в углу экрана. Щелчок по нему открывает окно отправки сообщения, правая кнопка - меню программы. Окно можно перетащить мышью в любое место.</source>
        <translation>This desktop has no notification area (system tray), so the program&apos;s icon is shown in a small window in the corner of the screen. Clicking it opens the send window, the right button the program&apos;s menu. The window can be dragged anywhere with the mouse.</translation>
    </message>
</context>
</TS>
